#include "strivon/CommandQueue.h"

#include <cstring>
#include <new>

#include "platform/base/tick.h"

PublishCmd PublishCmd::Unit(int type, const void* bytes, int len, uint32_t timestamp) {
  PublishCmd cmd;
  cmd.type = type;
  cmd.timestamp = timestamp;
  if (bytes && len > 0) {
    cmd.data.reset(new (std::nothrow) uint8_t[len]);
    if (cmd.data) {
      std::memcpy(cmd.data.get(), bytes, static_cast<size_t>(len));
      cmd.len = len;
    }
  }
  return cmd;
}

PublishCmd PublishCmd::Adopt(int type, std::unique_ptr<uint8_t[]> bytes, int len, uint32_t timestamp) {
  PublishCmd cmd;
  cmd.type = type;
  cmd.timestamp = timestamp;
  cmd.data = std::move(bytes);
  cmd.len = cmd.data ? len : 0;
  return cmd;
}

CommandQueue::CommandQueue(std::function<uint32_t()> clock) : m_clock(std::move(clock)) {}

uint32_t CommandQueue::Now() const { return m_clock ? m_clock() : platform::TickCount(); }

void CommandQueue::Push(int type) {
  PublishCmd cmd;
  cmd.type = type;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_queue.push_back(std::move(cmd));
    ++m_pushes;
  }
  m_changed.notify_all();
}

void CommandQueue::PushDelayed(int type, int delayMs) {
  PublishCmd cmd;
  cmd.type = type;
  cmd.delayed = true;
  cmd.delayMs = delayMs;
  cmd.enqueueTime = Now();
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_queue.push_back(std::move(cmd));
    ++m_pushes;
  }
  m_changed.notify_all();
}

void CommandQueue::Wake() {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_pushes;
  }
  m_changed.notify_all();
}

void CommandQueue::WaitForWork(uint32_t ms) {
  std::unique_lock<std::mutex> lock(m_lock);
  m_changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_pushes != m_seenPushes; });
  m_seenPushes = m_pushes;
}

bool CommandQueue::TakeDue(PublishCmd* out) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_queue.empty()) return false;
  PublishCmd head = std::move(m_queue.front());
  m_queue.pop_front();
  const bool due = !head.delayed || (head.delayMs > 0 && Now() - head.enqueueTime >= static_cast<uint32_t>(head.delayMs));
  if (!due) {
    m_queue.push_back(std::move(head));
    return false;
  }
  *out = std::move(head);
  return true;
}

void CommandQueue::Clear() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_queue.clear();
}

size_t CommandQueue::Size() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_queue.size();
}
