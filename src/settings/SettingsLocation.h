// Where the settings file lives. Beside the executable, named after it with ".xdb", when the
// program runs from a folder of its own (a portable install, a build tree); for a program
// installed into the system, in the user's configuration folder.
#pragma once

#include <functional>
#include <string>

struct TSettingsEnvironment {
    std::string ExecutablePath;  // absolute path of the running program; may be empty
    std::string XdgConfigHome;   // $XDG_CONFIG_HOME, empty when unset
    std::string Home;            // $HOME, empty when unset
    // Whether the program may write into a folder; empty: the process's own access rights.
    std::function<bool(const std::string& folder)> FolderWritable;
};

// The executable's folder is used when it is writable and not a system folder ("/usr" and
// below, "/bin", "/sbin"; root may write there, but an installed program must not).
// Otherwise "<config>/pixamo/<name>.xdb", where <config> is XdgConfigHome when it is an
// absolute path, else Home + "/.config"; that folder is created (failures are left to the
// store, which then cannot create the file and names it).
std::string SettingsFileNameFor(const TSettingsEnvironment& environment);

// The environment of this process: /proc/self/exe, $XDG_CONFIG_HOME, $HOME (or the password
// database's home folder).
TSettingsEnvironment CurrentSettingsEnvironment();

// SettingsFileNameFor(CurrentSettingsEnvironment()): the name the main window opens.
std::string SettingsFileName();
