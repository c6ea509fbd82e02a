#include "picture/JpegLoader.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace qlm {

namespace {

// libjpeg's error manager, extended with the way back into the loader. libjpeg sees only `pub`.
struct ErrorTrap {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  int error;                      // a JpegLoader::Error, set before jumping
  char message[JMSG_LENGTH_MAX];  // libjpeg's text for the error
};

ErrorTrap* TrapOf(j_common_ptr cinfo) {
  return reinterpret_cast<ErrorTrap*>(cinfo->err);
}

[[noreturn]] void Jump(j_common_ptr cinfo, int error) {
  ErrorTrap* trap = TrapOf(cinfo);
  trap->error = error;
  (*cinfo->err->format_message)(cinfo, trap->message);
  std::longjmp(trap->jump, 1);
}

// The default handler prints and calls exit(); a picture that cannot be decoded must only cost
// its own load.
[[noreturn]] void OnFatalError(j_common_ptr cinfo) {
  Jump(cinfo, JpegLoader::kDecodeFailed);
}

// Warnings are counted and otherwise ignored (many pictures on the web carry a few stray bytes),
// except the end of the file in the middle of the image: the rest would be painted grey.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace output
  if (cinfo->err->msg_code == JWRN_JPEG_EOF) Jump(cinfo, JpegLoader::kTruncated);
  cinfo->err->num_warnings++;
}

void DiscardOutput(j_common_ptr) {}

void InstallTrap(jpeg_decompress_struct* cinfo, ErrorTrap* trap) {
  cinfo->err = jpeg_std_error(&trap->pub);
  trap->pub.error_exit = OnFatalError;
  trap->pub.emit_message = OnMessage;
  trap->pub.output_message = DiscardOutput;
  trap->error = JpegLoader::kOk;
  trap->message[0] = '\0';
}

}  // namespace

struct JpegLoader::Decoder {
  ErrorTrap trap{};
  jpeg_decompress_struct cinfo{};
  std::FILE* file = nullptr;
  bool created = false;              // cinfo holds libjpeg's allocations
  bool started = false;              // jpeg_start_decompress has returned; rows may be read
  std::unique_ptr<JSAMPROW[]> rows;  // one pointer per output row, into the caller's bitmap

  ~Decoder() {
    if (created) jpeg_destroy_decompress(&cinfo);
    if (file) std::fclose(file);
  }
};

namespace {

// Runs `work` (calls into libjpeg) so that a fatal error inside it comes back here as false.
// `work` must not own anything with a destructor while it calls libjpeg: the jump skips them.
template <class Work>
bool Guarded(ErrorTrap& trap, Work&& work) {
  if (setjmp(trap.jump) != 0) return false;
  return work();
}

}  // namespace

JpegLoader::JpegLoader() = default;
JpegLoader::~JpegLoader() = default;

std::recursive_mutex& JpegLoader::ImageReaderLock() {
  static std::recursive_mutex lock;
  return lock;
}

bool JpegLoader::Fail(int error, const std::string& message) {
  Close();
  error_ = error;
  message_ = message;
  return false;
}

bool JpegLoader::FailFromDecoder() {
  const int error = decoder_ ? decoder_->trap.error : kDecodeFailed;
  std::string message = decoder_ ? decoder_->trap.message : "";
  return Fail(error == kOk ? kDecodeFailed : error, message);
}

void JpegLoader::Close() {
  decoder_.reset();
}

bool JpegLoader::ReadHeader(const std::string& path, int* width, int* height) {
  std::lock_guard<std::recursive_mutex> hold(ImageReaderLock());
  if (!Begin(path, 0, 1, 0, true)) return false;
  *width = static_cast<int>(decoder_->cinfo.image_width);
  *height = static_cast<int>(decoder_->cinfo.image_height);
  Close();
  return true;
}

std::optional<PackedBitmap> JpegLoader::Load(const std::string& path, int colour_count,
                                             int scale_denominator, int two_pass) {
  if (!Start(path, colour_count, scale_denominator, two_pass)) return std::nullopt;
  PackedBitmap bitmap;
  if (!bitmap.Allocate(PackedSize())) {
    Fail(kNoMemory, "no memory for a bitmap of " + std::to_string(PackedSize()) + " bytes");
    return std::nullopt;
  }
  if (!DecodeInto(bitmap.Data(), bitmap.Size())) return std::nullopt;
  return bitmap;
}

bool JpegLoader::Start(const std::string& path, int colour_count, int scale_denominator,
                       int two_pass) {
  return Begin(path, colour_count, scale_denominator, two_pass, false);
}

bool JpegLoader::Begin(const std::string& path, int colour_count, int scale_denominator,
                       int two_pass, bool header_only) {
  Close();
  error_ = kOk;
  message_.clear();
  layout_ = DibLayout();
  if (scale_denominator < 1) return Fail(kBadArgument, "scale denominator below 1");

  decoder_ = std::make_unique<Decoder>();
  Decoder& d = *decoder_;
  d.file = std::fopen(path.c_str(), "rb");
  if (d.file == nullptr) return Fail(kCannotOpen, std::strerror(errno));
  InstallTrap(&d.cinfo, &d.trap);
  jpeg_decompress_struct& c = d.cinfo;

  const bool quantise = colour_count > 0;
  bool layout_known = Guarded(d.trap, [&] {
    jpeg_create_decompress(&c);
    d.created = true;
    jpeg_stdio_src(&c, d.file);
    jpeg_read_header(&c, TRUE);
    if (header_only) return true;
    if (c.out_color_space != JCS_GRAYSCALE && c.out_color_space != JCS_RGB) {
      d.trap.error = kColourSpace;
      std::snprintf(d.trap.message, sizeof d.trap.message, "JPEG colour space %d is not shown",
                    static_cast<int>(c.jpeg_color_space));
      return false;
    }
    c.scale_num = 1;
    c.scale_denom = static_cast<unsigned>(scale_denominator);
    if (quantise) {
      c.quantize_colors = TRUE;
      c.desired_number_of_colors = std::min(colour_count, 256);
      if (two_pass == 0) c.two_pass_quantize = FALSE;
    } else {
      // libjpeg-turbo writes blue-green-red pixels itself, grey ones widened to three channels,
      // so the rows go straight into the bitmap without a swapping pass.
      c.out_color_space = JCS_EXT_BGR;
    }
    jpeg_calc_output_dimensions(&c);
    return true;
  });
  if (!layout_known) return FailFromDecoder();
  if (header_only) return true;

  layout_.width = static_cast<int>(c.output_width);
  layout_.height = static_cast<int>(c.output_height);
  layout_.bit_count = quantise ? 8 : 24;
  layout_.colour_count = quantise ? c.desired_number_of_colors : 0;
  const size_t size = layout_.TotalSize();
  if (size == 0 || size > max_picture_bytes_) {
    return Fail(kTooLarge, std::to_string(layout_.width) + " x " + std::to_string(layout_.height) +
                               " is too large to show");
  }
  if (!Guarded(d.trap, [&] { return jpeg_start_decompress(&c) == TRUE; })) return FailFromDecoder();
  d.started = true;
  if (quantise) layout_.colour_count = c.actual_number_of_colors;
  return true;
}

bool JpegLoader::DecodeInto(uint8_t* dst, size_t size) {
  if (!decoder_ || !decoder_->started || dst == nullptr || size < PackedSize())
    return Fail(kNotStarted, "no decompression started, or the buffer is too small");
  Decoder& d = *decoder_;
  jpeg_decompress_struct& c = d.cinfo;
  const DibLayout layout = layout_;
  const size_t stride = layout.RowStride();
  const size_t used = static_cast<size_t>(layout.width) * (layout.bit_count / 8);

  d.rows.reset(new (std::nothrow) JSAMPROW[static_cast<size_t>(layout.height)]);
  if (!d.rows) return Fail(kNoMemory, "no memory for the row table");
  layout.WriteHeader(dst);
  uint8_t* bottom = dst + layout.PixelOffset();
  for (int y = 0; y < layout.height; ++y) {
    // Output row y (from the top) is stored row height-1-y: the bitmap is bottom-up.
    uint8_t* row = bottom + static_cast<size_t>(layout.height - 1 - y) * stride;
    std::memset(row + used, 0, stride - used);
    d.rows[static_cast<size_t>(y)] = row;
  }

  const bool decoded = Guarded(d.trap, [&] {
    while (c.output_scanline < c.output_height) {
      jpeg_read_scanlines(&c, d.rows.get() + c.output_scanline,
                          c.output_height - c.output_scanline);
    }
    return true;
  });
  if (!decoded) return FailFromDecoder();

  uint8_t* table = dst + DibLayout::kHeaderSize;
  for (int i = 0; i < layout.colour_count; ++i) {
    uint8_t* entry = table + 4 * i;
    if (c.out_color_components == 3) {
      entry[0] = c.colormap[2][i];
      entry[1] = c.colormap[1][i];
      entry[2] = c.colormap[0][i];
    } else {
      entry[0] = entry[1] = entry[2] = c.colormap[0][i];
    }
    entry[3] = 0;
  }
  // Every row is in place. Finishing would only read on to the end marker, and a picture whose
  // file lacks trailing bytes is still whole, so the decompressor is simply destroyed.
  Close();
  return true;
}

}  // namespace qlm
