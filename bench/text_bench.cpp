// Speed of the text primitives and extraction routines on large texts.
//
// Texts of 1 MB and 8 MB, either ASCII or mixed with two-byte characters of
// code page 936, made of CR LF lines. The searches look for a needle placed
// near the end, so each pass crosses the whole text. std::string_view::find
// on the same bytes is the baseline of the exact search; the 8 MB / 1 MB
// figures of each routine show how its cost grows.
#include <benchmark/benchmark.h>

#include <map>
#include <random>
#include <string>
#include <string_view>

#include "text/helpers.h"
#include "text/primitives.h"

namespace quillmark {
namespace {

constexpr std::string_view kNeedle = "quillmark-needle";
constexpr std::string_view kFoldedNeedle = "QUILLMARK-Needle";

enum Kind { kAscii = 0, kMixed = 1 };

// Lines of words: ASCII words, or (mixed) ASCII words and words of two-byte
// characters, each line ended by CR LF; the needle starts the last line.
std::string makeText(std::size_t bytes, Kind kind) {
  static const char* const asciiWords[] = {"logo", "title", "Template", "quill", "mark", "batch", "image",
                                           "png", "web", "cookie", "Header", "value"};
  static const char* const wideWords[] = {"\xD6\xD0\xCE\xC4", "\xCD\xBC\xB1\xEA", "\xC9\xFA\xB3\xC9",
                                          "\xC4\xA3\xB0\xE5", "\xA1\xA1", "\xB1\xEA\xCC\xE2"};
  std::mt19937 random(936);
  std::string text;
  text.reserve(bytes + 64);
  while (text.size() + kNeedle.size() + 2 < bytes) {
    const int words = 3 + static_cast<int>(random() % 6);
    for (int w = 0; w < words; ++w) {
      if (kind == kMixed && random() % 2 == 0) {
        text += wideWords[random() % 6];
      } else {
        text += asciiWords[random() % 12];
      }
      text += ' ';
    }
    text += "\r\n";
  }
  text.resize(bytes - kNeedle.size() - 2);
  text += kNeedle;
  text += "\r\n";
  // A cut may have left a lead byte without its second byte before the
  // needle: make that byte ASCII so the needle starts a character.
  const std::size_t needleStart = text.size() - kNeedle.size() - 2;
  std::size_t p = 0;
  while (p < needleStart) p += static_cast<unsigned char>(text[p]) >= 0x80 ? 2 : 1;
  if (p == needleStart + 1) text[needleStart - 1] = ' ';
  return text;
}

const Text& sample(std::int64_t megabytes, std::int64_t kind) {
  static std::map<std::pair<std::int64_t, std::int64_t>, Text> samples;
  auto [it, inserted] = samples.try_emplace({megabytes, kind});
  if (inserted) {
    it->second = Text(makeText(static_cast<std::size_t>(megabytes) << 20, static_cast<Kind>(kind)));
  }
  return it->second;
}

// All samples are made before the first benchmark runs, so that none of them
// is placed among the memory an earlier benchmark left behind.
const bool samplesMade = [] {
  for (const std::int64_t kind : {kAscii, kMixed}) {
    for (const std::int64_t megabytes : {1, 8}) sample(megabytes, kind);
  }
  return true;
}();

void setBytes(benchmark::State& state, const Text& text) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * text.length());
}

void BM_StringViewFind(benchmark::State& state) {
  const Text& text = sample(state.range(0), state.range(1));
  // A needle known only at run time, as findText's is.
  std::string needle(kNeedle);
  benchmark::DoNotOptimize(needle.data());
  const std::string_view view = text.view();
  for (auto _ : state) benchmark::DoNotOptimize(view.find(needle));
  setBytes(state, text);
}

void BM_FindText(benchmark::State& state) {
  const Text& text = sample(state.range(0), state.range(1));
  const Text needle(kNeedle);
  for (auto _ : state) benchmark::DoNotOptimize(findText(text, needle));
  if (findText(text, needle) != static_cast<int>(text.view().find(kNeedle)) + 1) state.SkipWithError("wrong");
  setBytes(state, text);
}

void BM_FindTextFolded(benchmark::State& state) {
  const Text& text = sample(state.range(0), state.range(1));
  const Text needle(kFoldedNeedle);
  for (auto _ : state) benchmark::DoNotOptimize(findText(text, needle, std::nullopt, true));
  setBytes(state, text);
}

void BM_ReplaceText(benchmark::State& state) {
  const Text& text = sample(state.range(0), state.range(1));
  const Text sub("logo");
  const Text replacement("LOGO!");
  for (auto _ : state) benchmark::DoNotOptimize(replaceText(text, sub, replacement));
  setBytes(state, text);
}

void BM_SplitTextCrLf(benchmark::State& state) {
  const Text& text = sample(state.range(0), state.range(1));
  const Text crLf("\r\n");
  for (auto _ : state) benchmark::DoNotOptimize(splitText(text, crLf));
  setBytes(state, text);
}

void BM_CountLines(benchmark::State& state) {
  const Text& text = sample(state.range(0), state.range(1));
  for (auto _ : state) benchmark::DoNotOptimize(countLines(text));
  setBytes(state, text);
}

void BM_LineAtLast(benchmark::State& state) {
  const Text& text = sample(state.range(0), state.range(1));
  const int last = countLines(text);
  for (auto _ : state) benchmark::DoNotOptimize(lineAt(text, last));
  setBytes(state, text);
}

// A template list: 3,662 short names, one per CR LF line.
const Text& templateList() {
  static const Text list = [] {
    std::string text;
    for (int n = 1; n <= 3662; ++n) text += "icon-template-" + std::to_string(n) + "\xCD\xBC\xB1\xEA\r\n";
    return Text(text);
  }();
  return list;
}

void BM_TemplateListCountLines(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(countLines(templateList()));
}

void BM_TemplateListLineAt(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(lineAt(templateList(), n));
}

void sizesAndKinds(benchmark::internal::Benchmark* b) {
  for (const std::int64_t kind : {kAscii, kMixed}) {
    for (const std::int64_t megabytes : {1, 8}) b->Args({megabytes, kind});
  }
  b->ArgNames({"MB", "mixed"})->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_StringViewFind)->Apply(sizesAndKinds);
BENCHMARK(BM_FindText)->Apply(sizesAndKinds);
BENCHMARK(BM_FindTextFolded)->Apply(sizesAndKinds);
BENCHMARK(BM_ReplaceText)->Apply(sizesAndKinds);
BENCHMARK(BM_SplitTextCrLf)->Apply(sizesAndKinds);
BENCHMARK(BM_CountLines)->Apply(sizesAndKinds);
BENCHMARK(BM_LineAtLast)->Apply(sizesAndKinds);
BENCHMARK(BM_TemplateListCountLines)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TemplateListLineAt)->Arg(1)->Arg(1831)->Arg(3662)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quillmark
