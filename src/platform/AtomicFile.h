// Writing a file so that a failure never leaves a truncated one: the bytes go to a temporary
// file in the target's folder, which is renamed over the target only when complete.
#pragma once

#include <functional>
#include <string>

class TStream;

// Calls write with a stream on the temporary file, flushes and syncs it, then renames it over
// fileName. Any exception removes the temporary file and leaves an existing target whole.
// A temporary file that cannot be created raises EFCreateError naming fileName.
void WriteFileAtomically(const std::string& fileName, const std::function<void(TStream&)>& write);
