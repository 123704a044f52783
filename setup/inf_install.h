// The registry and INI-file entries of an INF install section: "AddReg", "DelReg" and "UpdateInis"
// name the sections that hold them. Registry entries go to the settings store: HKLM to the store
// setup writes its answers to, HKCU to the user's store; keys outside "Software\Tolvane\Varlo" and
// other roots have no place in it and are passed over.
#pragma once

#include <QString>
#include <optional>

namespace varlo {

class CInfFile;
class CSetupSettings;

// AddReg flags we honour (the Setup API values).
inline constexpr unsigned kAddRegNoClobber = 0x00000002;
inline constexpr unsigned kAddRegDeleteValue = 0x00000004;
inline constexpr unsigned kAddRegMultiString = 0x00010000;
inline constexpr unsigned kAddRegDword = 0x00010001;

// Applies the section's registry entries to `machine` (HKLM) and `user` (HKCU), then its INI
// entries. INI files named without a folder lie in the destination folder (directory id 102030).
// False, with `error` set, when the section or a section it names is missing, an entry is
// malformed, or an INI file cannot be written.
bool ApplyInstallSection(const CInfFile& inf, const QString& section, CSetupSettings& machine,
                         CSetupSettings& user, QString* error);

// Sets (`value` given) or removes (`value` empty optional) `key` in `section` of an INI file, keeping every
// other line as it was; creates the file and the section as needed.
bool UpdateIniEntry(const QString& path, const QString& section, const QString& key,
                    const std::optional<QString>& value);

}  // namespace varlo
