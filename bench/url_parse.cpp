// How many URLs per second CUrl::Parse takes, over a mix like the links of real pages.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "net/CUrl.h"
#include "net/UrlReference.h"

namespace {

// Mostly short absolute links, some with queries, fragments, dot segments, escapes, ports and
// Shift_JIS bytes, a few file URLs and a few that fail, as a patrol meets them.
const std::vector<std::string>& Mix() {
  static const std::vector<std::string> urls = {
      "http://www.example.co.jp/",
      "http://www.example.co.jp/index.html",
      "http://www.example.co.jp/gallery/2024/photo0001.jpg",
      "http://www.example.co.jp/gallery/2024/photo0002.JPG",
      "http://images.example.com/thumbs/a/b/c/d/e/pic_000123_small.jpeg",
      "http://www.example.com/cgi-bin/search.cgi?q=cats&page=2&lang=ja",
      "http://www.example.com/forum/view.php?topic=123&start=40#post998",
      "http://www.example.com/docs/./guide/../manual/chapter3.htm#section-2",
      "http://www.example.com/~user/diary/%E6%97%A5%E8%A8%98.html",
      "http://www.example.com/\x8e\xca\x90\x5e/\x89\xe6\x91\x9c.jpg",
      "http://192.168.10.20:8080/status",
      "http://proxy.example.net:3128/a//b///c/",
      "http://www.example.com/a%20b/c%2Fd/e.gif",
      "http://www.example.com/path/with;params=1/and@signs&more=2",
      "HTTP://WWW.EXAMPLE.COM/UPPER/CASE/PAGE.SHTML",
      "http://www.example.com/very/deep/path/that/goes/on/and/on/for/a/while/index.html",
      "file:///c:/My+Pictures/holiday/img_0042.jpg",
      "file:///home/user/mirror/site/index.html",
      "mailto:someone@example.com",
      "http://bad_host.example.com/",
  };
  return urls;
}

void ReportRate(benchmark::State& state) {
  const auto parsed = static_cast<double>(state.iterations() * Mix().size());
  state.counters["urls_per_second"] = benchmark::Counter(parsed, benchmark::Counter::kIsRate);
}

// One record parsed again and again, as a download object reuses its own.
void BM_CUrlParse(benchmark::State& state) {
  qlm::CUrl url;
  for (auto _ : state) {
    for (const std::string& text : Mix()) {
      benchmark::DoNotOptimize(url.Parse(text));
      benchmark::DoNotOptimize(url.Text().data());
    }
  }
  ReportRate(state);
}
BENCHMARK(BM_CUrlParse);

// A fresh record per URL, as the link extraction makes one per link.
void BM_CUrlParseFreshRecord(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& text : Mix()) {
      qlm::CUrl url;
      benchmark::DoNotOptimize(url.Parse(text));
      benchmark::DoNotOptimize(url.Text().data());
    }
  }
  ReportRate(state);
}
BENCHMARK(BM_CUrlParseFreshRecord);

// The links of a page resolved against it, as written in pages: relative, absolute paths, some
// with dot segments, queries and fragments.
void BM_ResolveUrlReference(benchmark::State& state) {
  static const std::vector<std::string> links = {
      "chapter3.html",
      "../index.html",
      "/p/12/1234.html",
      "img/photo0001.jpg",
      "./guide/intro.html#start",
      "search.cgi?q=cats&page=2",
      "#top",
      "http://www.example.com/other/page.html",
      "//cdn.example.com/style.css",
      "/docs/./guide/../manual/chapter3.htm#section-2",
  };
  const std::string base = "http://www.example.com/docs/library/functions.html";
  for (auto _ : state) {
    for (const std::string& link : links) {
      benchmark::DoNotOptimize(qlm::ResolveUrlReference(base, link).data());
    }
  }
  state.counters["links_per_second"] = benchmark::Counter(
      static_cast<double>(state.iterations() * links.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ResolveUrlReference);

}  // namespace

BENCHMARK_MAIN();
