// Where the recordings are: the recorder keeps its recording folder in its per-user INI file.
// Start-up reads it from there and lists the recordings in it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ini_file.h"
#include "platform/os/os.h"

namespace trimora {

using os::kPathSeparator;

// Reads an environment variable: true and its value when set, false when unset.
using EnvironmentReader = std::function<bool(const std::string& name, std::string& value)>;

// The process's own environment.
bool ReadProcessEnvironment(const std::string& name, std::string& value);

// The recorder's INI file below the user's profile folder (USERPROFILE, else HOME). Without
// either the path is the tail alone, which names no such file.
std::string RecorderIniPath(const EnvironmentReader& env);

// What LookUpRecordPath returns when the INI file gives no folder: the INI reader's own answer.
inline constexpr const char* kNoRecordFolder = kIniMissing;

// The recording folder with a trailing separator, or kNoRecordFolder when the INI file gives none.
std::string LookUpRecordPath(const EnvironmentReader& env);

// Whether a file name matches a pattern of "*" and "?" wildcards, ignoring ASCII letter case
// as the recorder's file system does ("*.nts" takes "a.NTS").
bool MatchesPattern(const std::string& name, const std::string& pattern);

// The names of the regular, non-hidden files in folder that match pattern, sorted by name
// (ASCII letter case ignored); nullopt when the folder cannot be listed.
std::optional<std::vector<std::string>> ListFolder(const std::string& folder, const std::string& pattern);

}  // namespace trimora
