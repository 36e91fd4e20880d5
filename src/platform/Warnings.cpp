#include "Warnings.h"

#include <cstdio>
#include <utility>

namespace {
TWarningHandler& CurrentHandler() {
    static TWarningHandler handler;
    return handler;
}
thread_local TWarningCollector* Collector = nullptr;
}  // namespace

TWarningHandler SetWarningHandler(TWarningHandler handler) {
    return std::exchange(CurrentHandler(), std::move(handler));
}

void ShowWarning(const std::string& message) {
    if (Collector)
        Collector->messages_.push_back(message);
    else if (CurrentHandler())
        CurrentHandler()(message);
    else
        std::fprintf(stderr, "Warning: %s\n", message.c_str());
}

TWarningCollector::TWarningCollector() : previous_(std::exchange(Collector, this)) {}

TWarningCollector::~TWarningCollector() { Collector = previous_; }
