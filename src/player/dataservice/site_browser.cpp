#include "player/dataservice/site_browser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>

#include "m4systems/log.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "EM_MOT";
// No page, style sheet or image of a site is read beyond this size.
constexpr qint64 kMaxResourceBytes = qint64{8} << 20;

}  // namespace

SiteBrowser::SiteBrowser(QWidget* parent) : QTextBrowser(parent) {
    setObjectName("184");
    setFocusPolicy(Qt::NoFocus);
    setContextMenuPolicy(Qt::NoContextMenu);  // the right click goes on to EM_MOT
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setFrameShape(QFrame::NoFrame);
    connect(this, &QTextBrowser::anchorClicked, this,
            [this](const QUrl& link) { FollowLink(link); });
}

void SiteBrowser::Open(const QString& start_page) {
    const QFileInfo page(start_page);
    folder_ = QFileInfo(page.absolutePath()).canonicalFilePath();
    refused_.clear();
    missing_ = false;
    const QUrl url = QUrl::fromLocalFile(page.absoluteFilePath());
    if (source() == url) {
        reload();
    } else {
        setSource(url);
    }
}

void SiteBrowser::Stop() {
    clear();
}

QString SiteBrowser::FileInside(const QUrl& reference) const {
    if (folder_.isEmpty()) return {};
    QUrl url = reference;
    if (url.isRelative()) url = source().resolved(url);
    if (!url.isLocalFile()) return {};
    const QString path = QDir::cleanPath(QFileInfo(url.toLocalFile()).absoluteFilePath());
    // A file that does not exist yet is judged by its folder, as far as that exists.
    QFileInfo info(path);
    QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty()) {
        const QString parent = QFileInfo(info.absolutePath()).canonicalFilePath();
        if (parent.isEmpty()) return path.startsWith(folder_ + "/") ? path : QString();
        canonical = parent + "/" + info.fileName();
    }
    return canonical.startsWith(folder_ + "/") ? canonical : QString();
}

QVariant SiteBrowser::loadResource(int type, const QUrl& name) {
    // What is not given here must still be something: for nothing, the document and its image
    // handler would read the name themselves, from anywhere.
    const QVariant nothing = type == QTextDocument::ImageResource
                                 ? QVariant(QImage(1, 1, QImage::Format_ARGB32_Premultiplied))
                                 : QVariant(QByteArray());
    const QString path = FileInside(name);
    if (path.isEmpty()) {
        if (!refused_.contains(name.toString())) refused_ << name.toString();
        M4_LOG(2, kSource, "site reference refused: %s", qPrintable(name.toString()));
        return nothing;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxResourceBytes) {
        missing_ = true;
        return nothing;
    }
    if (type == QTextDocument::HtmlResource) ++pages_loaded_;
    return file.readAll();
}

bool SiteBrowser::PageComplete() {
    if (missing_ || document()->isEmpty()) return false;
    // Images are read when they are drawn: whether their files are there is seen now.
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isImageFormat()) continue;
            const QString path = FileInside(QUrl(format.toImageFormat().name()));
            if (!path.isEmpty() && !QFileInfo::exists(path)) return false;
        }
    }
    return true;
}

void SiteBrowser::FollowLink(const QUrl& link) {
    if (FileInside(link).isEmpty()) {
        if (!refused_.contains(link.toString())) refused_ << link.toString();
        M4_LOG(2, kSource, "link refused: %s", qPrintable(link.toString()));
        return;
    }
    setSource(link.isRelative() ? source().resolved(link) : link);
}

}  // namespace koru::player
