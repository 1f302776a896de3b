// Asks the presenter for a folder (the recording folder), with the system's
// folder dialog owned by a window. Windows take the chooser as a function so
// that tests can answer in its place.
#pragma once
#include <functional>
#include <optional>
#include <string>

class QWidget;

// The chosen folder, or nothing when the presenter cancelled.
using FolderChooser = std::function<std::optional<std::wstring>(QWidget* owner, const std::wstring& title)>;

std::optional<std::wstring> ChooseFolderWithDialog(QWidget* owner, const std::wstring& title);
