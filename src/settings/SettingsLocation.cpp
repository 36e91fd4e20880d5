#include "SettingsLocation.h"

#include "TextHelpers.h"

#include <pwd.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

const char* const ProgramName = "pixamo";

bool IsSystemFolder(const std::string& folder) {
    return folder == "/usr" || folder.starts_with("/usr/") || folder == "/bin" || folder == "/sbin";
}

bool ProcessMayWrite(const std::string& folder) { return access(folder.c_str(), W_OK | X_OK) == 0; }

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::string SettingsFileNameFor(const TSettingsEnvironment& environment) {
    fs::path executable = environment.ExecutablePath;
    std::string name = executable.filename().string();
    if (name.empty()) name = ProgramName;
    name = ChangeFileExt(name, ".xdb");

    std::string folder = executable.parent_path().string();
    auto writable = environment.FolderWritable ? environment.FolderWritable : ProcessMayWrite;
    if (!folder.empty() && !IsSystemFolder(folder) && writable(folder)) return (fs::path(folder) / name).string();

    fs::path config;
    if (fs::path(environment.XdgConfigHome).is_absolute())
        config = environment.XdgConfigHome;
    else if (!environment.Home.empty())
        config = fs::path(environment.Home) / ".config";
    else if (!folder.empty())
        return (fs::path(folder) / name).string();
    else
        return name;
    fs::path own = config / ProgramName;
    std::error_code error;
    fs::create_directories(own, error);
    return (own / name).string();
}

TSettingsEnvironment CurrentSettingsEnvironment() {
    TSettingsEnvironment environment;
    std::error_code error;
    fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (!error) environment.ExecutablePath = executable.string();
    environment.XdgConfigHome = Environment("XDG_CONFIG_HOME");
    environment.Home = Environment("HOME");
    if (environment.Home.empty()) {
        if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) environment.Home = entry->pw_dir;
    }
    return environment;
}

std::string SettingsFileName() { return SettingsFileNameFor(CurrentSettingsEnvironment()); }
