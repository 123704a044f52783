// The program's file-name prompts (open and save), with a hook so that tests answer them without
// a dialog.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace varlo {

enum class FilePromptKind { kOpen, kSave };

// Asks for a file name. filter is a Qt filter ("Varlo Files (*.net)"), defaultSuffix the
// extension added when the user types none ("net"), proposed the suggested name. Returns the
// chosen path, or an empty string when the user cancelled. The save prompt asks before
// overwriting an existing file.
QString PromptFileName(QWidget* parent, FilePromptKind kind, const QString& filter,
                       const QString& defaultSuffix, const QString& proposed = QString());

// The extension of a Qt name filter's first pattern ("svg" for "SVG Drawings (*.svg)"), or empty.
QString FilterSuffix(const QString& nameFilter);
// The path with the filter's extension appended when the path has no extension of its own.
QString WithFilterSuffix(const QString& path, const QString& nameFilter);

using FilePromptHook = std::function<QString(FilePromptKind kind, const QString& filter,
                                             const QString& defaultSuffix, const QString& proposed)>;
// Installs a hook (an empty function removes it); returns the previous one.
FilePromptHook SetFilePromptHook(FilePromptHook hook);

}  // namespace varlo
