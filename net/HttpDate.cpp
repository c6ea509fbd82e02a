#include "net/HttpDate.h"

#include <array>
#include <cstdio>

namespace qlm {

namespace {

constexpr std::array<const char*, 7> kShortDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 7> kLongDays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// A cursor over the date text; every reader returns false when its field is missing, too long or
// unknown, which fails the whole form.
class DateReader {
 public:
  explicit DateReader(std::string_view text) : text_(text) {}

  bool Literal(char c) {
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }

  bool Blanks() {
    size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    return pos_ > start;
  }

  // Reads between min_digits and max_digits decimal digits.
  bool Number(int min_digits, int max_digits, uint16_t* value) {
    int count = 0;
    unsigned v = 0;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      if (++count > max_digits) return false;
      v = v * 10 + static_cast<unsigned>(text_[pos_] - '0');
      ++pos_;
    }
    if (count < min_digits) return false;
    *value = static_cast<uint16_t>(v);
    return true;
  }

  // Reads a run of letters and finds it in names; the index is returned in *index.
  template <size_t N>
  bool Name(const std::array<const char*, N>& names, int* index) {
    size_t start = pos_;
    while (pos_ < text_.size() && ((text_[pos_] >= 'a' && text_[pos_] <= 'z') ||
                                   (text_[pos_] >= 'A' && text_[pos_] <= 'Z'))) {
      ++pos_;
    }
    std::string_view word = text_.substr(start, pos_ - start);
    for (size_t i = 0; i < N; ++i) {
      if (EqualNoCase(word, names[i])) {
        *index = static_cast<int>(i);
        return true;
      }
    }
    return false;
  }

  bool Month(uint16_t* month) {
    int index = 0;
    if (!Name(kMonths, &index)) return false;
    *month = static_cast<uint16_t>(index + 1);
    return true;
  }

  bool Time(HttpDate* d) {
    return Number(2, 2, &d->hour) && Literal(':') && Number(2, 2, &d->minute) && Literal(':') &&
           Number(2, 2, &d->second);
  }

  bool Gmt() {
    size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != ' ') ++pos_;
    return EqualNoCase(text_.substr(start, pos_ - start), "GMT");
  }

  bool AtEnd() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    return pos_ == text_.size();
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

bool InRange(const HttpDate& d) {
  return d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 31 && d.hour <= 23 &&
         d.minute <= 59 && d.second <= 60;
}

bool ParseRfc1123(std::string_view text, HttpDate* d) {
  DateReader r(text);
  int weekday = 0;
  return r.Name(kShortDays, &weekday) && r.Literal(',') && r.Blanks() && r.Number(1, 2, &d->day) &&
         r.Blanks() && r.Month(&d->month) && r.Blanks() && r.Number(4, 4, &d->year) && r.Blanks() &&
         r.Time(d) && r.Blanks() && r.Gmt() && r.AtEnd();
}

bool ParseRfc850(std::string_view text, HttpDate* d) {
  DateReader r(text);
  int weekday = 0;
  return r.Name(kLongDays, &weekday) && r.Literal(',') && r.Blanks() && r.Number(1, 2, &d->day) &&
         r.Literal('-') && r.Month(&d->month) && r.Literal('-') && r.Number(2, 2, &d->year) &&
         r.Blanks() && r.Time(d) && r.Blanks() && r.Gmt() && r.AtEnd();
}

bool ParseAsctime(std::string_view text, HttpDate* d) {
  DateReader r(text);
  int weekday = 0;
  return r.Name(kShortDays, &weekday) && r.Blanks() && r.Month(&d->month) && r.Blanks() &&
         r.Number(1, 2, &d->day) && r.Blanks() && r.Time(d) && r.Blanks() &&
         r.Number(4, 4, &d->year) && r.AtEnd();
}

}  // namespace

bool ParseHttpDate(std::string_view text, HttpDate* out) {
  for (auto form : {ParseRfc1123, ParseRfc850, ParseAsctime}) {
    HttpDate d;
    if (form(text, &d) && InRange(d)) {
      *out = d;
      return true;
    }
  }
  return false;
}

std::string FormatHttpDate(std::time_t when) {
  std::tm tm{};
  gmtime_r(&when, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kShortDays[tm.tm_wday],
                tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                tm.tm_sec);
  return text;
}

}  // namespace qlm
