// Asks the presenter for a folder (the recording folder) or a media file,
// with Qt's file dialog owned by a window. Windows take the folder chooser as
// a function so that tests can answer in its place.
#pragma once
#include <functional>
#include <optional>
#include <string>

class QWidget;

// The chosen folder, or nothing when the presenter cancelled.
using FolderChooser = std::function<std::optional<std::wstring>(QWidget* owner, const std::wstring& title)>;

std::optional<std::wstring> ChooseFolderWithDialog(QWidget* owner, const std::wstring& title);

// An existing file matching the filter ("Name (*.a *.b)"), or nothing.
std::optional<std::wstring> ChooseFileWithDialog(QWidget* owner, const std::wstring& filter);
