#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "picture/PackedBitmap.h"

namespace qlm {

// Turns a JPEG file into the picture memory: a packed bitmap, 24-bit (or 8-bit with a colour table
// when a colour count is asked for), rows bottom-up and padded to 4 bytes. libjpeg's fatal errors
// come back here as a failed call with the error kept in the object; nothing is printed and the
// program never exits. A file that ends before its image is complete fails too, rather than
// being shown with a grey lower part.
//
// One object serves one thread at a time; separate objects may decode on separate threads.
class JpegLoader {
 public:
  enum Error {
    kOk = 0,
    kCannotOpen = -1,    // the file cannot be opened for reading
    kDecodeFailed = -2,  // not a JPEG, or libjpeg gave up on the data (its text in LastMessage)
    kTruncated = -3,     // the data ends before the image is complete
    kTooLarge = -4,      // the bitmap would exceed MaxPictureBytes()
    kColourSpace = -5,   // CMYK and other layouts that are neither grey nor three-component
    kBadArgument = -6,   // a scale denominator below 1
    kNoMemory = -7,      // the bitmap's memory could not be had
    kNotStarted = -8,    // DecodeInto without a successful Start, or a buffer below PackedSize()
  };

  // 512 MiB: a 12-megapixel photograph packs into 36 MiB; the cap keeps a forged header from
  // asking for gigabytes (and the picture channel must fit the same size into shared memory).
  static constexpr size_t kDefaultMaxPictureBytes = size_t{512} << 20;

  JpegLoader();
  ~JpegLoader();
  JpegLoader(const JpegLoader&) = delete;
  JpegLoader& operator=(const JpegLoader&) = delete;

  // The image reader's lock: held around header reads made for size filters, so that the
  // pick-up on the network thread and the folder expansion on a picture thread read one at a time.
  // Recursive, so a caller may hold it around ReadHeader as well.
  static std::recursive_mutex& ImageReaderLock();

  // Reads only the header and gives the picture's full size. Holds ImageReaderLock().
  bool ReadHeader(const std::string& path, int* width, int* height);

  // Decodes a whole file. colour_count 0 (or less) keeps full colour (24 bits); 2..256 (more is
  // taken as 256) quantises to an 8-bit bitmap with at most that many colours, in two passes
  // unless two_pass is 0.
  // scale_denominator 1 gives full size; 2, 4 or 8 give that fraction, sizes rounded up; others
  // give libjpeg's nearest step of eighths not below 1/denominator (3 gives 3/8, 9 and up 1/8).
  std::optional<PackedBitmap> Load(const std::string& path, int colour_count, int scale_denominator,
                                   int two_pass);

  // The same in two steps, for a caller that places the bitmap in memory of its own (the picture
  // block): Start opens the file and starts decompression (a two-pass quantisation runs its first
  // pass here), after which Width(), Height(), BitCount(), ColourCount() and PackedSize() are
  // exact; DecodeInto then writes the whole packed bitmap (PackedSize() bytes) at `dst`. Either
  // call ends the decompression when it fails; DecodeInto ends it when it succeeds too.
  bool Start(const std::string& path, int colour_count, int scale_denominator, int two_pass);
  bool DecodeInto(uint8_t* dst, size_t size);
  // Ends a started decompression early and closes the file; harmless when none runs.
  void Close();

  int Width() const { return layout_.width; }
  int Height() const { return layout_.height; }
  int BitCount() const { return layout_.bit_count; }
  int ColourCount() const { return layout_.colour_count; }
  size_t PackedSize() const { return layout_.TotalSize(); }

  int LastError() const { return error_; }
  // libjpeg's own text for kDecodeFailed and kTruncated, or the system's for kCannotOpen.
  const std::string& LastMessage() const { return message_; }

  size_t MaxPictureBytes() const { return max_picture_bytes_; }
  void SetMaxPictureBytes(size_t bytes) { max_picture_bytes_ = bytes; }

 private:
  struct Decoder;  // libjpeg's state; kept out of this header so that jpeglib.h stays private

  // Start, or with header_only just the header of ReadHeader.
  bool Begin(const std::string& path, int colour_count, int scale_denominator, int two_pass,
             bool header_only);
  bool Fail(int error, const std::string& message);
  bool FailFromDecoder();

  std::unique_ptr<Decoder> decoder_;  // non-null exactly while a decompression is started
  DibLayout layout_;                  // of the started (or last) picture
  int error_ = kOk;
  std::string message_;
  size_t max_picture_bytes_ = kDefaultMaxPictureBytes;
};

}  // namespace qlm
