// Decoder of gzip-coded bytes in memory (HTTP Content-Encoding: gzip).
//
// The gzip container (header, CRC-32 and length trailer, concatenated
// members) is read here; zlib inflates the raw deflate data of each member.
// Input that does not start with the gzip magic bytes is copied unchanged
// (transparent mode). Bytes after the last member that do not start another
// member are ignored, as the gzip tool does.
//
// The decoder never writes past its output limit: once the output would pass
// it, decoding stops and IsComplete() is false. A corrupt deflate stream, a
// CRC or length mismatch, a bad member header (also one whose name and
// comment run past 256 KiB) and a truncated body are reported the same way,
// with the bytes decoded before the fault kept.
//
// The input comes whole (the first two constructors decode it at once) or in
// pieces as it arrives (Feed, then Finish), with the same result for any
// split, so a body can be inflated while it is received. The object owns its
// output unless it decodes into a caller's buffer; not copyable.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <string>

#include "platform/text/windef.h"

namespace pcutil {

class CGzipDecoder {
 public:
  static constexpr int kInlineCapacity = 1024;
  static constexpr DWORD kNoLimit = 0xFFFFFFFFu;

  // Decodes into a buffer of its own that grows as needed up to `limit` bytes.
  // A NULL source gives a NULL output of size 0.
  CGzipDecoder(const BYTE *source, int size, DWORD limit = kNoLimit);
  // Decodes into the caller's `capacity` bytes at `output` (the limit).
  CGzipDecoder(const BYTE *source, int size, BYTE *output, DWORD capacity);
  // Decodes pieces given to Feed into the caller's `capacity` bytes at `output`.
  CGzipDecoder(BYTE *output, DWORD capacity);
  ~CGzipDecoder();
  CGzipDecoder(const CGzipDecoder &) = delete;
  CGzipDecoder &operator=(const CGzipDecoder &) = delete;

  // Decodes what it can of the next piece of input; false once the decoding
  // has failed or passed the limit (the rest of the input changes nothing).
  bool Feed(const BYTE *data, size_t size);
  // The input has ended: IsComplete().
  bool Finish();

  const BYTE *GetOutput() const { return m_pOutput; }
  int GetOutputSize() const { return m_nOutputSize; }
  int GetOutputCapacity() const { return m_nOutputCapacity; }
  // The input decoded to its end without fault and within the limit.
  bool IsComplete() const { return m_nError == Z_STREAM_END && !m_bOverLimit; }
  bool IsOverLimit() const { return m_bOverLimit; }
  bool IsTransparent() const { return m_bTransparent != 0; }
  // zlib status: Z_OK while input may follow, Z_STREAM_END after a clean end,
  // Z_DATA_ERROR, Z_MEM_ERROR, Z_BUF_ERROR (over the limit).
  int GetError() const { return m_nError; }

 private:
  // Where the input stands: what the next bytes must be.
  enum class Stage { Start, Header, Body, Trailer, AfterMember, Transparent, Done };
  // What a step over the bytes at hand came to.
  enum class Step { Progress, NeedMore, Failed };
  // How far the member header being read has come.
  struct HeaderScan {
    enum Part { Fixed, ExtraLength, Extra, Name, Comment, Crc } part = Fixed;
    int flags = 0;
    int left = 0;  // extra-field bytes still to skip
    int text = 0;  // name and comment bytes so far
  };

  // Runs the stages over m_pSource from m_nSourcePos; `last`: no more input follows.
  void Run(bool last);
  // Runs over one piece of input, keeping what it could not use yet for the next.
  bool Take(const BYTE *data, size_t size, bool last);
  Step StartStep(bool last);
  Step CheckHeader();  // reads one member header at the current position
  Step InflateStep();
  Step TrailerStep();
  void Fail(int error);
  int GetByte();
  bool GetLong(uLong &value);
  bool AppendOutput(const BYTE *data, int n);

  BYTE *m_pOutput = nullptr;
  int m_nOutputSize = 0;
  BYTE m_inlineOutput[kInlineCapacity + 1];
  int m_nOutputCapacity = 0;  // the buffer has one zero byte after it (own buffers)
  bool m_bExternal = false;
  DWORD m_nLimit = kNoLimit;
  bool m_bOverLimit = false;
  z_stream m_stream{};
  bool m_bStreamReady = false;
  int m_nError = Z_OK;
  uLong m_nCrc = 0;
  uLong m_nMemberSize = 0;
  int m_bTransparent = 0;
  Stage m_stage = Stage::Start;
  HeaderScan m_header;
  std::string m_pending;  // input bytes waiting for the rest of a header or trailer
  int m_nSourcePos = 0;
  const BYTE *m_pSource = nullptr;
  int m_nSourceSize = 0;
};

}  // namespace pcutil
