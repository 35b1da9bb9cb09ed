#include "data/name_value_list.h"

#include <cstring>
#include <string>

#include "data/codepage_text.h"
#include "data/url_encode.h"
#include "text/allocation.h"
#include "text/helpers.h"
#include "text/primitives.h"

namespace quillmark {
namespace {

// Appends `text` with every CR and LF written as a space, so that a name or
// value can never start a line of its own in a header block.
void appendOneLine(std::string& out, std::string_view text) {
  const size_t start = out.size();
  out.append(text);
  // Names and values seldom hold a line break: a library search finds the
  // few there are.
  for (const char lineBreak : {'\r', '\n'}) {
    char* const end = out.data() + out.size();
    for (char* at = out.data() + start; (at = static_cast<char*>(std::memchr(at, lineBreak, static_cast<size_t>(end - at))));)
      *at++ = ' ';
  }
}

}  // namespace

int NameValueList::find(const Text& name) const {
  for (int i = 1; i <= names_.size(); ++i)
    if (compareText(names_.at(i), name) == 0) return i;
  return 0;
}

NameValueList NameValueList::copy() const { return *this; }

void NameValueList::add(const Text& name, const Text& value, bool toUtf8) {
  if (toUtf8) {
    names_.append(ansiToUtf8(name));
    values_.append(ansiToUtf8(value));
  } else {
    names_.append(name);
    values_.append(value);
  }
}

void NameValueList::addQuery(const Text& text, bool toUtf8) {
  const TextArray items = splitText(text, Text("&"));
  const Text equals("=");
  for (const Text& item : items) add(textBefore(item, equals), textAfter(item, equals), toUtf8);
}

Text NameValueList::get(const Text& name) const {
  const int i = find(name);
  return i == 0 ? Text() : values_.at(i);
}

void NameValueList::set(const Text& name, const Text& value) {
  const int i = find(name);
  if (i == 0)
    add(name, value, false);
  else
    values_.at(i) = value;
}

Text NameValueList::toQuery(bool encode) const {
  ByteOutput out;
  for (int i = 1; i <= names_.size(); ++i) {
    if (i > 1) out.push('&');
    if (encode) {
      out.append(urlEncode(names_.at(i), true).view());
      out.push('=');
      out.append(urlEncode(values_.at(i), true).view());
    } else {
      out.append(names_.at(i).view());
      out.push('=');
      out.append(values_.at(i).view());
    }
  }
  return Text(out.take());
}

Text NameValueList::toHeaderBlock(bool encode) const {
  // The batch job renders a list that keeps growing, once per title, so the
  // block is built in one buffer sized once: linear in its length.
  const int count = names_.size();
  TextArray encoded;
  if (encode)
    for (const Text& value : values_) encoded.append(urlEncode(value, true));
  size_t size = 0;
  for (int i = 1; i <= count; ++i) {
    const Text& value = encode ? encoded.at(i) : values_.at(i);
    size +=
        static_cast<size_t>(names_.at(i).length()) + 2 + static_cast<size_t>(value.length()) + 2;
  }
  if (size > 0) size -= 2;  // no CR LF after the last value
  return allocateOrFail(size, [&] {
    std::string out;
    out.reserve(size);
    for (int i = 1; i <= count; ++i) {
      const Text& value = encode ? encoded.at(i) : values_.at(i);
      if (i > 1) out += "\r\n";
      appendOneLine(out, names_.at(i).view());
      out += ": ";
      appendOneLine(out, value.view());
    }
    return Text(std::move(out));
  });
}

void NameValueList::getNames(TextArray& result) const { result = names_; }

void NameValueList::getValues(TextArray& result) const { result = values_; }

void NameValueList::clear() {
  names_.clear();
  values_.clear();
}

void NameValueList::remove(const Text& name) {
  const int i = find(name);
  if (i == 0) return;
  names_.removeAt(i);
  values_.removeAt(i);
}

Text NameValueList::toJson() const {
  ByteOutput out;
  out.push('{');
  for (int i = 1; i <= names_.size(); ++i) {
    out.push('"');
    out.append(escapeJson(names_.at(i)).view());
    out.append("\":\"");
    out.append(escapeJson(values_.at(i)).view());
    out.append("\",");
  }
  Text json(out.take());
  stripAffix(json, Text(","));
  return concatText(json, Text("}"));
}

Text NameValueList::escapeJson(const Text& text) const {
  // The backslash first, so that the ones put before quotes stay single.
  const Text quoted =
      replaceMany(text, std::nullopt, 1, false, Text("\\"), Text("\\\\"), Text("\""), Text("\\\""));
  std::string_view bytes = quoted.view();
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return allocateOrFail(bytes.size() * 6, [&] {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
      const auto b = static_cast<unsigned char>(bytes[i]);
      if (b >= 0x80) {  // a two-byte character: both bytes as they are
        out.push_back(bytes[i]);
        if (i + 1 < bytes.size()) out.push_back(bytes[++i]);
        continue;
      }
      if (b >= 0x20) {
        out.push_back(bytes[i]);
        continue;
      }
      switch (b) {
        case '\r':
          out += "\\r";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\t':
          out += "\\t";
          break;
        case '\b':
          out += "\\b";
          break;
        case '\f':
          out += "\\f";
          break;
        default:
          out += "\\u00";
          out.push_back(kDigits[b >> 4]);
          out.push_back(kDigits[b & 0x0F]);
      }
    }
    return Text(std::move(out));
  });
}

Text NameValueList::stripAffix(Text& text, const Text& affix) const {
  const int n = affix.length();
  if (n > 0) {
    if (text.length() >= n && compareText(rightText(text, n), affix) == 0)
      text = leftText(text, text.length() - n);
    if (text.length() >= n && compareText(leftText(text, n), affix) == 0)
      text = rightText(text, text.length() - n);
  }
  return text;
}

}  // namespace quillmark
