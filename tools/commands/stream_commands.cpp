// stowaway compress, decompress and advise: one packed stream, file to file.
#include <iostream>

#include "compression/LZRW1.h"
#include "compression/bytes.h"
#include "tools/cli/codec_choice.h"
#include "tools/cli/jobs.h"
#include "tools/command.h"
#include "tools/errors.h"
#include "tools/files/files.h"
#include "tools/files/output_file.h"
#include "tools/terminal/progress.h"
#include "tools/terminal/text.h"

namespace stowaway {
namespace {

const char CompressHelp[] = R"(Usage: stowaway compress [OPTION]... IN OUT
Pack the file IN into the file OUT as one packed stream: an 8-byte header
(the codec's signature, "!HZL" or "WRZL", and the original size) and the
codec's body, as each entry of an installer holds it.

      --mode good|fast|auto  the codec: good (LZH, smaller; the default),
                             fast (LZRW1/KH, quicker), or auto
      --threshold N          with --mode auto: fast when the fast codec
                             shrinks IN's samples below N percent (0 to
                             100; default 40)
      --jobs N               pack on N threads (default: one for each
                             processor); OUT is the same for any N
  -f, --force                replace OUT if it exists
  -q, --quiet                print nothing but errors
  -h, --help                 show this help
)";

const char DecompressHelp[] = R"(Usage: stowaway decompress [OPTION]... IN OUT
Unpack the packed stream in the file IN (as 'stowaway compress' writes it)
into the file OUT, checking that it yields exactly its recorded size.

  -f, --force   replace OUT if it exists
  -q, --quiet   print nothing but errors
  -h, --help    show this help
)";

const char AdviseHelp[] = R"(Usage: stowaway advise [--threshold N] IN
Print the codec that --mode auto would pick for the file IN: "Fast" when
the fast codec shrinks two samples of it below N percent, else "Good".
Files under 96 KiB always get "Good".

      --threshold N  the percentage (0 to 100; default 40)
  -h, --help         show this help
)";


struct Ends {
  std::string in;
  std::string out;
};

Ends TwoFiles(const Arguments& arguments, const char* what) {
  if (arguments.operands.size() != 2) throw EUsage(std::string("name IN and OUT, ") + what);
  return {arguments.operands[0], arguments.operands[1]};
}

// Runs one operation of codec from input, the file ends.in open at its
// start, into output, with a bar over the input's bytes.
int32_t Transfer(const std::string& command, const std::string& verb, const Ends& ends, TStream& input,
                 Tlzrw1& codec, int32_t (Tlzrw1::*operation)(), bool quiet, bool force,
                 const std::string& failure) {
  const int64_t size = InputSize(input, ends.in);
  if (size >= (int64_t{1} << 31)) {
    throw EToolFailure(ends.in + ": 2 GiB or larger; a packed stream holds less");
  }
  codec.UseStream = true;
  codec.InputStream = &input;
  int32_t result;
  {
    ProgressBar bar(verb, size, 1, quiet);
    OutputFile output(ends.out, force, InterruptNotice(command, ends.out));
    // The codecs write a block at a time; the file takes them a megabyte at
    // a time.
    TWriteBuffer buffered(output.Stream());
    codec.OutputStream = &buffered;
    HookInUse hook([&] { bar.Show(codec.BytesRead, 0, ends.in); });
    // A refused piece is always a short write of the file, whose reason it
    // keeps.
    const auto write_failure = [&] {
      return EToolFailure("cannot write " + ends.out + ": " + output.Stream().WriteFailure());
    };
    try {
      result = (codec.*operation)();
    } catch (const Exception& problem) {
      if (!output.Stream().WriteFailure().empty()) throw write_failure();
      throw EToolFailure(failure + problem.Message());
    }
    if (!buffered.Flush()) throw write_failure();
    output.Commit();
  }
  return result;
}

int RunCompress(const Arguments& arguments) {
  const Ends ends = TwoFiles(arguments, "the file to pack and the packed file to write");
  const CodecChoice choice = ReadCodecChoice(arguments);
  RequireReplaceable(ends.out, arguments.Has("force"));
  Tlzrw1 codec;
  const std::unique_ptr<TFileStream> input = OpenInput(ends.in);
  codec.CompressMode = ResolveMode(*input, choice);
  codec.EncoderThreads = ReadJobs(arguments);
  const int32_t written = Transfer("compress", "packing", ends, *input, codec, &Tlzrw1::Compress,
                                   arguments.Has("quiet"), arguments.Has("force"),
                                   "cannot pack " + ends.in + " into " + ends.out + ": ");
  if (!arguments.Has("quiet")) {
    const int64_t original = codec.BytesRead;
    std::cout << ends.in << ": " << original << " bytes packed to " << written << " in " << ends.out
              << " (" << Percentage(written, original) << ", " << CodecName(codec.CompressMode)
              << ")\n";
  }
  return 0;
}

// A clear word for the commonest mistake, before the component's own; input,
// the file at path, is left at its start.
void RequirePackedStream(TStream& input, const std::string& path) {
  uint8_t signature[4] = {};
  const int32_t got = input.Read(signature, 4);
  const uint32_t value = LoadLE32(signature);
  if (got != 4 || (value != LzhIdentifier && value != LzrwIdentifier)) {
    throw EToolFailure(path + ": not a packed stream (it begins with neither \"!HZL\" nor "
                       "\"WRZL\"); installers are read with 'stowaway extract'");
  }
  if (input.Seek(0, SeekOrigin::Begin) != 0) {
    throw EToolFailure(path + ": cannot go back to its start; name a regular file");
  }
}

int RunDecompress(const Arguments& arguments) {
  const Ends ends = TwoFiles(arguments, "the packed file to read and the file to write");
  RequireReplaceable(ends.out, arguments.Has("force"));
  const std::unique_ptr<TFileStream> input = OpenInput(ends.in);
  RequirePackedStream(*input, ends.in);
  Tlzrw1 codec;
  const int32_t written = Transfer("decompress", "unpacking", ends, *input, codec, &Tlzrw1::Decompress,
                                   arguments.Has("quiet"), arguments.Has("force"), "cannot unpack " + ends.in + " into " + ends.out + ": ");
  if (!arguments.Has("quiet")) {
    std::cout << ends.in << ": unpacked " << written << " bytes into " << ends.out << '\n';
  }
  return 0;
}

int RunAdvise(const Arguments& arguments) {
  if (arguments.operands.size() != 1) throw EUsage("name one file, IN, to advise on");
  const std::string& in = arguments.operands[0];
  CodecChoice choice;
  choice.mode = TCompressMode::Auto;
  choice.threshold = ReadThreshold(arguments);
  const std::unique_ptr<TFileStream> input = OpenInput(in);
  std::cout << (ResolveMode(*input, choice) == TCompressMode::Fast ? "Fast" : "Good") << '\n';
  return 0;
}

}  // namespace

Command CompressCommand() {
  return {"compress",
          "pack one file into a packed stream",
          CompressHelp,
          {{"mode", 0, true}, {"threshold", 0, true}, {"jobs", 0, true}, {"force", 'f', false}},
          RunCompress};
}

Command DecompressCommand() {
  return {"decompress", "unpack a packed stream into a file", DecompressHelp,
          {{"force", 'f', false}}, RunDecompress};
}

Command AdviseCommand() {
  return {"advise", "say which codec --mode auto would pick for a file", AdviseHelp,
          {{"threshold", 0, true}}, RunAdvise};
}

}  // namespace stowaway
