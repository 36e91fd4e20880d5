#include "Warnings.h"

#include <cstdio>
#include <utility>

namespace {
TWarningHandler& CurrentHandler() {
    static TWarningHandler handler;
    return handler;
}
TWarningHandler& ThreadHandler() {
    thread_local TWarningHandler handler;
    return handler;
}
}  // namespace

TWarningHandler SetWarningHandler(TWarningHandler handler) {
    return std::exchange(CurrentHandler(), std::move(handler));
}

TWarningHandler SetThreadWarningHandler(TWarningHandler handler) {
    return std::exchange(ThreadHandler(), std::move(handler));
}

void ShowWarning(const std::string& message) {
    if (ThreadHandler())
        ThreadHandler()(message);
    else if (CurrentHandler())
        CurrentHandler()(message);
    else
        std::fprintf(stderr, "Warning: %s\n", message.c_str());
}
