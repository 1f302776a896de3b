#include "RtmpLib/jni/rtmp_amf.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace rtmp {
namespace {

AVal ToAVal(const std::string& text) {
  AVal value;
  value.av_val = const_cast<char*>(text.data());
  value.av_len = static_cast<int>(text.size());
  return value;
}

AVal ToAVal(const char* text) {
  AVal value;
  value.av_val = const_cast<char*>(text);
  value.av_len = static_cast<int>(std::strlen(text));
  return value;
}

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

bool IsObjectEnd(const uint8_t* p, size_t left) { return left >= 3 && p[0] == 0 && p[1] == 0 && p[2] == AMF_OBJECT_END; }

// Each returns the bytes the item took, or 0 when it is malformed.
size_t ValueLength(const uint8_t* p, size_t left, int depth, int maxDepth);

// Named members up to and including the object end marker.
size_t MembersLength(const uint8_t* p, size_t left, int depth, int maxDepth) {
  size_t used = 0;
  for (;;) {
    if (IsObjectEnd(p + used, left - used)) return used + 3;
    if (left - used < 2) return 0;
    const size_t nameLength = Be16(p + used);
    if (left - used - 2 < nameLength) return 0;
    used += 2 + nameLength;
    const size_t value = ValueLength(p + used, left - used, depth, maxDepth);
    if (value == 0) return 0;
    used += value;
  }
}

size_t ValueLength(const uint8_t* p, size_t left, int depth, int maxDepth) {
  if (left < 1) return 0;
  const size_t rest = left - 1;
  switch (p[0]) {
    case AMF_NUMBER:
      return rest >= 8 ? 9 : 0;
    case AMF_BOOLEAN:
      return rest >= 1 ? 2 : 0;
    case AMF_STRING: {
      if (rest < 2) return 0;
      const size_t length = Be16(p + 1);
      return rest - 2 >= length ? 3 + length : 0;
    }
    case AMF_LONG_STRING: {
      if (rest < 4) return 0;
      const size_t length = Be32(p + 1);
      return rest - 4 >= length ? 5 + length : 0;
    }
    case AMF_NULL:
    case AMF_UNDEFINED:
      return 1;
    case AMF_DATE:
      return rest >= 10 ? 11 : 0;
    case AMF_OBJECT: {
      if (depth >= maxDepth) return 0;
      const size_t members = MembersLength(p + 1, rest, depth + 1, maxDepth);
      return members ? 1 + members : 0;
    }
    case AMF_ECMA_ARRAY: {
      if (depth >= maxDepth || rest < 4) return 0;
      const size_t members = MembersLength(p + 5, rest - 4, depth + 1, maxDepth);
      return members ? 5 + members : 0;
    }
    case AMF_STRICT_ARRAY: {
      if (depth >= maxDepth || rest < 4) return 0;
      const uint32_t count = Be32(p + 1);
      size_t used = 5;
      // Every element takes at least one byte, so the count is bounded by the body.
      if (count > left - used) return 0;
      for (uint32_t i = 0; i < count; ++i) {
        const size_t value = ValueLength(p + used, left - used, depth + 1, maxDepth);
        if (value == 0) return 0;
        used += value;
      }
      return used;
    }
    default:
      return 0;
  }
}

}  // namespace

void AmfWriter::Advance(char* next) {
  if (next == nullptr) {
    m_ok = false;
    return;
  }
  m_pos = next;
}

AmfWriter& AmfWriter::String(const std::string& value) {
  if (!m_ok) return *this;
  if (value.size() > 0xFFFF) {
    m_ok = false;
    return *this;
  }
  AVal v = ToAVal(value);
  Advance(AMF_EncodeString(m_pos, End(), &v));
  return *this;
}

AmfWriter& AmfWriter::Number(double value) {
  if (m_ok) Advance(AMF_EncodeNumber(m_pos, End(), value));
  return *this;
}

AmfWriter& AmfWriter::Boolean(bool value) {
  if (m_ok) Advance(AMF_EncodeBoolean(m_pos, End(), value ? 1 : 0));
  return *this;
}

AmfWriter& AmfWriter::Null() {
  if (!m_ok) return *this;
  if (End() - m_pos < 1) {
    m_ok = false;
  } else {
    *m_pos++ = AMF_NULL;
  }
  return *this;
}

AmfWriter& AmfWriter::ObjectStart() {
  if (!m_ok) return *this;
  if (End() - m_pos < 1) {
    m_ok = false;
  } else {
    *m_pos++ = AMF_OBJECT;
  }
  return *this;
}

AmfWriter& AmfWriter::NamedString(const char* name, const std::string& value) {
  if (!m_ok) return *this;
  if (value.size() > 0xFFFF) {
    m_ok = false;
    return *this;
  }
  AVal n = ToAVal(name);
  AVal v = ToAVal(value);
  Advance(AMF_EncodeNamedString(m_pos, End(), &n, &v));
  return *this;
}

AmfWriter& AmfWriter::NamedNumber(const char* name, double value) {
  if (!m_ok) return *this;
  AVal n = ToAVal(name);
  Advance(AMF_EncodeNamedNumber(m_pos, End(), &n, value));
  return *this;
}

AmfWriter& AmfWriter::NamedBoolean(const char* name, bool value) {
  if (!m_ok) return *this;
  AVal n = ToAVal(name);
  Advance(AMF_EncodeNamedBoolean(m_pos, End(), &n, value ? 1 : 0));
  return *this;
}

AmfWriter& AmfWriter::ObjectEnd() {
  if (!m_ok) return *this;
  if (End() - m_pos < 3) {
    m_ok = false;
  } else {
    *m_pos++ = 0;
    *m_pos++ = 0;
    *m_pos++ = AMF_OBJECT_END;
  }
  return *this;
}

bool AmfWellFormed(const uint8_t* bytes, size_t size, int maxDepth) {
  size_t used = 0;
  while (used < size) {
    // librtmp's decoder stops quietly at an object end marker at top level.
    if (IsObjectEnd(bytes + used, size - used)) return true;
    const size_t value = ValueLength(bytes + used, size - used, 0, maxDepth);
    if (value == 0) return false;
    used += value;
  }
  return true;
}

bool AmfCommand::Decode(const uint8_t* body, size_t size) {
  AMF_Reset(&m_object);
  if (body == nullptr || size == 0 || size > static_cast<size_t>(std::numeric_limits<int>::max())) return false;
  if (!AmfWellFormed(body, size)) return false;
  if (AMF_Decode(&m_object, reinterpret_cast<const char*>(body), static_cast<int>(size), FALSE) < 0) {
    AMF_Reset(&m_object);
    return false;
  }
  return true;
}

AMFObjectProperty* AmfCommand::At(int index) const {
  if (index < 0 || index >= m_object.o_num) return nullptr;
  return &m_object.o_props[index];
}

bool AmfCommand::StringAt(int index, std::string* out) const {
  AMFObjectProperty* prop = At(index);
  if (prop == nullptr || prop->p_type != AMF_STRING) return false;
  out->assign(prop->p_vu.p_aval.av_val ? prop->p_vu.p_aval.av_val : "",
              static_cast<size_t>(prop->p_vu.p_aval.av_len));
  return true;
}

bool AmfCommand::NumberAt(int index, double* out) const {
  AMFObjectProperty* prop = At(index);
  if (prop == nullptr || prop->p_type != AMF_NUMBER) return false;
  *out = prop->p_vu.p_number;
  return true;
}

bool AmfCommand::ObjectStringAt(int index, const char* name, std::string* out) const {
  AMFObjectProperty* prop = At(index);
  if (prop == nullptr || prop->p_type != AMF_OBJECT) return false;
  AMFObject* object = &prop->p_vu.p_object;
  AVal key = ToAVal(name);
  for (int i = 0; i < object->o_num; ++i) {
    AMFObjectProperty* member = &object->o_props[i];
    if (member->p_type != AMF_STRING || !AVMATCH(&member->p_name, &key)) continue;
    out->assign(member->p_vu.p_aval.av_val ? member->p_vu.p_aval.av_val : "",
                static_cast<size_t>(member->p_vu.p_aval.av_len));
    return true;
  }
  return false;
}

bool PeekMethodAndTransaction(const uint8_t* body, size_t size, std::string* method, int* transaction) {
  if (size < 3 || body[0] != AMF_STRING) return false;
  const size_t length = Be16(body + 1);
  if (size < 3 + length + 9 || body[3 + length] != AMF_NUMBER) return false;
  method->assign(reinterpret_cast<const char*>(body + 3), length);
  return DoubleToInt(AMF_DecodeNumber(reinterpret_cast<const char*>(body + 4 + length)), transaction);
}

bool DoubleToInt(double value, int* out) {
  if (!std::isfinite(value) || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
    return false;
  }
  *out = static_cast<int>(value);
  return true;
}

}  // namespace rtmp
