#include "tools/cli/codec_choice.h"

#include <algorithm>
#include <cctype>

#include "tools/errors.h"

namespace stowaway {
namespace {

constexpr int32_t DefaultThreshold = 40;

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

int32_t ReadThreshold(const Arguments& arguments) {
  if (!arguments.Has("threshold")) return DefaultThreshold;
  const std::string text = arguments.Value("threshold");
  const bool digits = !text.empty() && text.size() <= 3 &&
                      std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
  if (!digits || std::stoi(text) > 100) {
    throw EUsage("--threshold needs a whole number from 0 to 100, not '" + text + "'");
  }
  return std::stoi(text);
}

CodecChoice ReadCodecChoice(const Arguments& arguments) {
  CodecChoice choice;
  if (arguments.Has("mode")) {
    const std::string mode = Lowered(arguments.Value("mode"));
    if (mode == "good") {
      choice.mode = TCompressMode::Good;
    } else if (mode == "fast") {
      choice.mode = TCompressMode::Fast;
    } else if (mode == "auto") {
      choice.mode = TCompressMode::Auto;
    } else {
      throw EUsage("--mode is good, fast or auto, not '" + arguments.Value("mode") + "'");
    }
  }
  if (arguments.Has("threshold") && choice.mode != TCompressMode::Auto) {
    throw EUsage("--threshold only applies to --mode auto");
  }
  choice.threshold = ReadThreshold(arguments);
  return choice;
}

TCompressMode ResolveMode(TStream& input, const CodecChoice& choice) {
  if (choice.mode != TCompressMode::Auto) return choice.mode;
  Tlzrw1 codec;
  codec.UseStream = true;
  codec.InputStream = &input;
  codec.Threshold = choice.threshold;
  return codec.Advise();
}

const char* CodecName(TCompressMode mode) {
  return mode == TCompressMode::Fast ? "LZRW1/KH" : "LZH";
}

}  // namespace stowaway
