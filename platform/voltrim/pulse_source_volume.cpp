// The volume control on PulseAudio: the endpoint is a source, found by its
// description (the device list's friendly name) or its own name; mute and
// volume are set on that source by name, so the default source never moves.
#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "platform/voltrim/Voltrim.h"
#include "platform/voltrim/pulse_session.h"

namespace {

struct Reply {
  bool done = false;
  bool success = false;
};

void OnSuccess(pa_context*, int success, void* user) {
  auto* reply = static_cast<Reply*>(user);
  reply->success = success != 0;
  reply->done = true;
}

struct SourceLookup {
  std::string wanted;
  std::string byDescription;  // server name of the first source so described
  std::string byName;
  uint8_t channels = 0;  // of the source named exactly `wanted`
  bool done = false;
};

void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* user) {
  auto* lookup = static_cast<SourceLookup*>(user);
  if (eol) {
    lookup->done = true;
    return;
  }
  if (!info || !info->name) return;
  if (info->description && lookup->byDescription.empty() && lookup->wanted == info->description)
    lookup->byDescription = info->name;
  if (lookup->wanted == info->name) {
    lookup->byName = info->name;
    lookup->channels = info->volume.channels;
  }
}

class PulseSourceVolume final : public IVolumeControl {
 public:
  bool SetEndpoint(const char* name) override {
    m_source.clear();
    if (!name || !*name) return false;
    voltrim::PulseSession session;
    if (!session.Open()) return false;
    SourceLookup lookup;
    lookup.wanted = name;
    if (!session.Await(pa_context_get_source_info_list(session.context(), OnSourceInfo, &lookup),
                       [&] { return lookup.done; }))
      return false;
    // A description is what the caller normally has; a server name that
    // happens to equal another input's description must not win over it.
    m_source = !lookup.byDescription.empty() ? lookup.byDescription : lookup.byName;
    return !m_source.empty();
  }

  bool SetMute(int mute) override {
    if (m_source.empty()) return false;
    voltrim::PulseSession session;
    if (!session.Open()) return false;
    Reply reply;
    return session.Await(pa_context_set_source_mute_by_name(session.context(), m_source.c_str(), mute != 0,
                                                            OnSuccess, &reply),
                         [&] { return reply.done; }) &&
           reply.success;
  }

  bool SetVolume(int percent) override {
    if (m_source.empty()) return false;
    voltrim::PulseSession session;
    if (!session.Open()) return false;
    // The volume must name every channel the source has, or the server
    // refuses it.
    SourceLookup lookup;
    lookup.wanted = m_source;
    if (!session.Await(pa_context_get_source_info_by_name(session.context(), m_source.c_str(), OnSourceInfo, &lookup),
                       [&] { return lookup.done; }) ||
        lookup.channels == 0)
      return false;
    pa_cvolume volume;
    const auto level = static_cast<pa_volume_t>(static_cast<uint64_t>(PA_VOLUME_NORM) *
                                                static_cast<uint64_t>(std::clamp(percent, 0, 100)) / 100);
    pa_cvolume_set(&volume, lookup.channels, level);
    Reply reply;
    return session.Await(pa_context_set_source_volume_by_name(session.context(), m_source.c_str(), &volume,
                                                              OnSuccess, &reply),
                         [&] { return reply.done; }) &&
           reply.success;
  }

  void Release() override { delete this; }

 private:
  ~PulseSourceVolume() = default;
  std::string m_source;  // server name of the chosen input
};

}  // namespace

IVolumeControl* CreateControlVolum(IVoltrimNotify*) { return new (std::nothrow) PulseSourceVolume(); }
