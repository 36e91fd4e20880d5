#include "formats/ReaderGraphic.h"

#include "formats/ReaderStrings.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <climits>

bool TReaderGraphic::CanLoadStream(TStream&) { return false; }

bool TReaderGraphic::CanLoadFile(const TGraphicClass& graphicClass, const std::string& fileName) {
    if (graphicClass.CanLoadStream == nullptr) return false;
    TFileStream stream(fileName, TFileMode::OpenRead);
    return graphicClass.CanLoadStream(stream);
}

bool TReaderGraphic::ReadProperties(TStream&, unsigned) {
    ImageProperties.Reset();
    return false;
}

void TReaderGraphic::Assign(const TBitmap& source) {
    if (auto reader = dynamic_cast<const TReaderGraphic*>(&source); reader != nullptr && reader != this)
        ImageProperties = reader->ImageProperties;
    TBitmap::Assign(source);
}

void TReaderGraphic::CheckImageSize(std::uint64_t width, std::uint64_t height, std::uint64_t bytesNeeded,
                                    std::uint64_t bytesDecodable) const {
    bool tooLarge = width > INT_MAX || height > INT_MAX || (height != 0 && width > MaxPixelCount / height) ||
                    bytesNeeded > bytesDecodable;
    if (tooLarge)
        GraphicError(gesImageTooLarge, ErrorLabel(), static_cast<unsigned long long>(width),
                     static_cast<unsigned long long>(height));
}

void TReaderGraphic::RequirePicture() const {
    if (Empty()) GraphicError(gesInvalidImage, ErrorLabel());
}

bool TReaderGraphic::BeginLoad(TStream& stream) {
    ReleaseImage();
    BasePosition = stream.Position();
    Stream = &stream;
    return ReadProperties(stream, 0);
}
