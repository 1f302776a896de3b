#include "ui/ProgramEventPump.h"

#include <chrono>
#include <memory>

#include "platform/duilib/window_messages.h"

namespace {

void FreeText(WPARAM, LPARAM lParam) { delete reinterpret_cast<std::string*>(lParam); }

}  // namespace

ProgramEventPump::ProgramEventPump(ProgramEventQueue* queue) : m_queue(queue) {}

ProgramEventPump::~ProgramEventPump() { Stop(); }

void ProgramEventPump::Start() {
  if (m_thread.joinable() || !m_queue) return;
  m_stop = false;
  m_thread = std::thread([this] { Run(); });
}

void ProgramEventPump::Stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
}

std::string ProgramEventPump::TakeText(LPARAM lParam) {
  std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
  return text ? std::move(*text) : std::string();
}

void ProgramEventPump::Run() {
  // The wait bounds how long Stop takes; events are forwarded as they come.
  constexpr std::chrono::milliseconds kWait(50);
  while (!m_stop) {
    std::optional<ProgramEvent> event = m_queue->Take(kWait);
    if (!event) continue;
    if (event->text.empty()) {
      PostMessageW(event->target, event->message, event->wParam, event->lParam);
      continue;
    }
    auto text = std::make_unique<std::string>(std::move(event->text));
    // On a drop PostMessageW has already freed the text through FreeText.
    PostMessageW(event->target, event->message, event->wParam, reinterpret_cast<LPARAM>(text.release()), FreeText);
  }
}
