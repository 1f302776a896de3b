// Keeps the program's own dialogs and pickers above the capture frame. The
// frame stays on top of every other program's windows, so a dialog opened
// in the ordinary way would open beneath it: the open-file dialog, the
// pickers, the settings dialog and its tips, the message boxes. Each of them
// is put in the frame's layer once it is shown, and raised again whenever
// the frame itself is shown, which puts it on top of that layer.
//
// A dialog is a top-level window with an owner (every picker and dialog of
// the program is made with one) or a QDialog (Qt's file and message boxes,
// with or without owner); the console and login windows have neither, and
// menus and tool tips are Qt's own pop-ups. The capture frame owns one of
// these for its life; GUI thread only.
#pragma once
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <vector>

class DialogsAboveFrame : public QObject {
 public:
  // Watches every window of the application from now on.
  explicit DialogsAboveFrame(QWidget* frame);
  ~DialogsAboveFrame() override;

  static bool IsDialog(const QWidget* window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void KeepAbove(QWidget* dialog);
  // The dialogs on show, in the order they were shown, kept above and raised
  // over the frame once the show under way is done.
  void RaiseLater();
  void RaiseDialogs();

  QPointer<QWidget> m_frame;
  std::vector<QPointer<QWidget>> m_shown;
  bool m_raisePending = false;
};
