// Warnings that must not stop the work (a JPEG that ends early): the window shows them in a
// message box titled "Warning", the command line prints them on stderr.
#pragma once

#include <functional>
#include <string>

using TWarningHandler = std::function<void(const std::string& message)>;

// Installs a handler and returns the previous one; an empty handler restores the default
// (print on stderr).
TWarningHandler SetWarningHandler(TWarningHandler handler);
// Installs a handler for the calling thread only, taking precedence over the one above, and
// returns the thread's previous one (empty: none). Threads that convert pictures side by side
// report each picture's warnings under its own name this way.
TWarningHandler SetThreadWarningHandler(TWarningHandler handler);
void ShowWarning(const std::string& message);
