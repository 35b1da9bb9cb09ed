// NameValueList: an ordered list of name/value pairs of Text.
//
// Filled pair by pair or from a query text; looked up, changed and pruned by
// name; rendered as a query text ('a=1&b=2'), a header block (lines
// 'Name: value' joined by CR LF) or a flat JSON object of string members.
// Duplicate names are allowed. Lookups act on the first pair, in insertion
// order, whose name equals the given one byte for byte (case-sensitive, no
// trimming; the empty name matches the empty name). The list is a value:
// copying it copies every text, and the copies are independent. It has no
// lock: one thread uses a list at a time.
#pragma once

#include "text/text.h"
#include "text/text_array.h"

namespace quillmark {

class NameValueList {
 public:
  // A new list holds no pairs.
  NameValueList() = default;
  NameValueList(const NameValueList&) = default;
  NameValueList& operator=(const NameValueList&) = default;
  NameValueList(NameValueList&&) noexcept = default;
  NameValueList& operator=(NameValueList&&) noexcept = default;

  // Releases every text the list holds.
  virtual ~NameValueList() = default;

  // A new list with copies of every pair; later changes to either list never
  // show in the other.
  virtual NameValueList copy() const;

  // Appends (name, value) at the end, never merging with a pair of the same
  // name. With `toUtf8`, the UTF-8 forms of both (ansiToUtf8) are stored
  // instead of the texts given.
  virtual void add(const Text& name, const Text& value, bool toUtf8 = false);

  // Appends one pair per item of `text` split at every "&" (splitText: the
  // empty text gives none, an empty item between two "&" gives one, a final
  // "&" adds none). Per item, the name is the bytes before its first "=" and
  // the value the bytes after its last "=" that is not its final byte
  // (textBefore / textAfter with their defaults): 'k=x=y' gives ('k','y'),
  // 'a=b=' gives ('a','b='), 'flag' and '' give ('',''). Nothing is decoded
  // or trimmed. Each pair goes through add with `toUtf8`. Never clears the
  // list first.
  virtual void addQuery(const Text& text, bool toUtf8 = false);

  // A copy of the value of the first pair named `name`; empty when none is.
  virtual Text get(const Text& name) const;

  // Replaces the value of the first pair named `name` (later ones stay);
  // appends (name, value) when there is none. `value` is never converted.
  virtual void set(const Text& name, const Text& value);

  // 'name=value' per pair, joined by "&"; the empty text for no pairs. With
  // `encode`, names and values are written as urlEncode(.., true) gives them.
  virtual Text toQuery(bool encode = false) const;

  // 'name: value' per pair, joined by CR LF, nothing after the last value;
  // the empty text for no pairs; an empty value leaves its line ending in
  // ': '. With `encode`, values (never names) are written as
  // urlEncode(.., true) gives them. A CR or LF inside a name or value is
  // written as a space, so one pair is always exactly one line.
  virtual Text toHeaderBlock(bool encode = false) const;

  // Replaces whatever `result` held with copies of the names (values), in
  // order; an empty list gives an empty array.
  virtual void getNames(TextArray& result) const;
  virtual void getValues(TextArray& result) const;

  // Removes every pair; the list stays usable.
  virtual void clear();

  // Removes the first pair named `name` (later ones stay); the pairs behind
  // it move up. No change when no pair is named so.
  virtual void remove(const Text& name);

  // '{"name":"value",...}' with members in insertion order, duplicates
  // repeated, no spaces; '{}' for no pairs. Names and values are written
  // through escapeJson, so the result is always well-formed JSON (its bytes
  // from 0x80 up are code page 936 as stored).
  virtual Text toJson() const;

  // `text` as the inside of a JSON string: backslash and double quote get a
  // backslash before them (replaceMany); CR, LF, tab, backspace and form feed
  // become \r \n \t \b \f, and every other byte below 0x20 becomes \u00XX.
  // Bytes from 0x80 up are copied together with the byte after them, as one
  // character, so a backslash that is the second byte of a character stays
  // single; a byte from 0x80 up that ends the text without its second byte
  // is dropped (as replaceText drops it). Does not read the list.
  virtual Text escapeJson(const Text& text) const;

  // With n the length of `affix`: removes the last n bytes of `text` when
  // they equal `affix`, then the first n bytes of what remains when they do;
  // each end at most once. An empty affix, or one longer than the text,
  // changes nothing. `text` receives the result, which is also returned.
  // Does not read the list.
  virtual Text stripAffix(Text& text, const Text& affix) const;

  // The pairs, parallel: pair i is (names()[i], values()[i]).
  const TextArray& names() const noexcept { return names_; }
  const TextArray& values() const noexcept { return values_; }

 private:
  // The position of the first pair named `name`, or 0.
  int find(const Text& name) const;

  TextArray names_;
  TextArray values_;
};

}  // namespace quillmark
