// AMF0 for the RTMP client's commands: a bounded writer over librtmp's
// encoders, and a decoder that first checks a server's bytes (types, lengths,
// nesting depth) before librtmp's recursive decoder is allowed to see them.
#pragma once
#include <librtmp/amf.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rtmp {

// Deepest object nesting accepted from a server; real replies use 2.
constexpr int kMaxAmfDepth = 32;

// Writes AMF0 values into a fixed-size buffer; once a value does not fit,
// ok() stays false and nothing more is written.
class AmfWriter {
 public:
  explicit AmfWriter(size_t capacity) : m_buffer(capacity) { m_pos = m_buffer.data(); }

  AmfWriter& String(const std::string& value);
  AmfWriter& Number(double value);
  AmfWriter& Boolean(bool value);
  AmfWriter& Null();
  AmfWriter& ObjectStart();
  AmfWriter& NamedString(const char* name, const std::string& value);
  AmfWriter& NamedNumber(const char* name, double value);
  AmfWriter& NamedBoolean(const char* name, bool value);
  AmfWriter& ObjectEnd();

  bool ok() const { return m_ok; }
  const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(m_buffer.data()); }
  size_t size() const { return static_cast<size_t>(m_pos - m_buffer.data()); }

 private:
  char* End() { return m_buffer.data() + m_buffer.size(); }
  void Advance(char* next);

  std::vector<char> m_buffer;
  char* m_pos;
  bool m_ok = true;
};

// True when bytes hold a sequence of AMF0 values of the kinds a command
// carries (number, boolean, string, object, null, undefined, ECMA array,
// strict array, date, long string), each complete within the bytes and
// nested at most maxDepth deep.
bool AmfWellFormed(const uint8_t* bytes, size_t size, int maxDepth = kMaxAmfDepth);

// A decoded command body: method, transaction id and arguments by position.
// Strings point into the body, which must outlive the object.
class AmfCommand {
 public:
  AmfCommand() { m_object.o_num = 0; m_object.o_props = nullptr; }
  ~AmfCommand() { AMF_Reset(&m_object); }
  AmfCommand(const AmfCommand&) = delete;
  AmfCommand& operator=(const AmfCommand&) = delete;

  // False for anything that is not well-formed AMF0 (see AmfWellFormed).
  bool Decode(const uint8_t* body, size_t size);

  int Count() const { return m_object.o_num; }
  bool StringAt(int index, std::string* out) const;
  bool NumberAt(int index, double* out) const;
  // A named string member of the object at index.
  bool ObjectStringAt(int index, const char* name, std::string* out) const;

 private:
  AMFObjectProperty* At(int index) const;
  mutable AMFObject m_object;
};

// The method name and transaction id at the start of a command body the
// client itself built; false when the body does not start that way.
bool PeekMethodAndTransaction(const uint8_t* body, size_t size, std::string* method, int* transaction);

// A finite double converted to int, or false when it does not fit.
bool DoubleToInt(double value, int* out);

}  // namespace rtmp
