// Warnings that must not stop the work (a JPEG that ends early): the window shows them in a
// message box titled "Warning", the command line prints them on stderr.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

using TWarningHandler = std::function<void(const std::string& message)>;

// Installs a handler and returns the previous one; an empty handler restores the default
// (print on stderr).
TWarningHandler SetWarningHandler(TWarningHandler handler);
void ShowWarning(const std::string& message);

// Keeps the warnings raised on the creating thread while it lives, instead of handing them to
// the handler: a picture read ahead on a worker thread has its warnings shown by the window
// when the picture is.
class TWarningCollector {
public:
    TWarningCollector();
    ~TWarningCollector();
    TWarningCollector(const TWarningCollector&) = delete;
    TWarningCollector& operator=(const TWarningCollector&) = delete;

    const std::vector<std::string>& Messages() const { return messages_; }
    std::vector<std::string> TakeMessages() { return std::move(messages_); }

private:
    friend void ShowWarning(const std::string& message);
    TWarningCollector* previous_;
    std::vector<std::string> messages_;
};
