#include "formats/CodecLibraries.h"

#include "platform/Exception.h"

#include <dlfcn.h>

namespace {

// dlopen keeps the library for the rest of the run.
void* OpenLibrary(const char* fileName) {
    void* handle = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw EInvalidGraphic(FormatText("Cannot load the picture: %s", dlerror()));
    return handle;
}

template <class TFunction> void Resolve(void* library, const char* fileName, const char* name, TFunction& function) {
    function = reinterpret_cast<TFunction>(dlsym(library, name));
    if (function == nullptr)
        throw EInvalidGraphic(FormatText("Cannot load the picture: %s has no function %s.", fileName, name));
}

}  // namespace

#define PIXAMO_RESOLVE(name) Resolve(library, fileName, #name, table.name);

const TAvifLibrary& AvifLibrary() {
    static const TAvifLibrary table = [] {
        TAvifLibrary table;
        const char* fileName = PIXAMO_AVIF_LIBRARY;
        void* library = OpenLibrary(fileName);
        PIXAMO_AVIF_FUNCTIONS(PIXAMO_RESOLVE)
        return table;
    }();
    return table;
}

const THeifLibrary& HeifLibrary() {
    static const THeifLibrary table = [] {
        THeifLibrary table;
        const char* fileName = PIXAMO_HEIF_LIBRARY;
        void* library = OpenLibrary(fileName);
        PIXAMO_HEIF_FUNCTIONS(PIXAMO_RESOLVE)
        // Registers the codec plugins, once for the whole run.
        table.heif_init(nullptr);
        return table;
    }();
    return table;
}

const TJxlLibrary& JxlLibrary() {
    static const TJxlLibrary table = [] {
        TJxlLibrary table;
        const char* fileName = PIXAMO_JXL_LIBRARY;
        void* library = OpenLibrary(fileName);
        PIXAMO_JXL_FUNCTIONS(PIXAMO_RESOLVE)
        fileName = PIXAMO_JXL_THREADS_LIBRARY;
        library = OpenLibrary(fileName);
        PIXAMO_JXL_THREADS_FUNCTIONS(PIXAMO_RESOLVE)
        return table;
    }();
    return table;
}

#undef PIXAMO_RESOLVE
