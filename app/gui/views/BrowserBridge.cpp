#include "app/gui/views/BrowserBridge.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>

#include "app/gui/views/SjisText.h"
#include "crawl/MirrorStore.h"
#include "net/CUrl.h"
#include "platform/ApplicationLock.h"

namespace qlm {

namespace {

bool DesktopOpen(const QUrl& url) {
  return QDesktopServices::openUrl(url);
}

BrowserBridge::Opener& CurrentOpener() {
  static BrowserBridge::Opener opener = &DesktopOpen;
  return opener;
}

}  // namespace

void BrowserBridge::SetOpener(Opener opener) {
  CurrentOpener() = opener ? std::move(opener) : Opener(&DesktopOpen);
}

std::string BrowserBridge::StoredCopyFile(const std::string& mirror_root, const std::string& url,
                                          const std::string& folder_path) {
  if (url.empty()) return {};
  MirrorStore store(mirror_root, ApplicationLock());
  const LocalCopy copy = store.FindLocalCopy(url, folder_path);
  return copy.Exists() ? copy.file : std::string();
}

bool BrowserBridge::ShowStoredCopy(const std::string& mirror_root, const std::string& url,
                                   const std::string& folder_path) {
  const std::string file = StoredCopyFile(mirror_root, url, folder_path);
  if (file.empty()) return false;
  return CurrentOpener()(QUrl::fromLocalFile(QString::fromStdString(file)));
}

std::optional<std::string> BrowserBridge::FirstHttpUrl(std::initializer_list<std::string> texts) {
  for (const std::string& text : texts) {
    // An address bar's selection may carry the line end of a copy.
    const size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) continue;
    const size_t end = text.find_last_not_of(" \t\r\n");
    const std::string trimmed = text.substr(begin, end - begin + 1);
    if (trimmed.find_first_of(" \t\r\n") != std::string::npos) continue;
    CUrl url;
    if (url.Parse(trimmed) && url.Scheme() == kSchemeHttp) return url.Text();
  }
  return std::nullopt;
}

std::optional<std::string> BrowserBridge::CurrentUrl() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return std::nullopt;
  const std::string selection =
      clipboard->supportsSelection() ? ToSjis(clipboard->text(QClipboard::Selection)) : "";
  return FirstHttpUrl({selection, ToSjis(clipboard->text(QClipboard::Clipboard))});
}

}  // namespace qlm
