// The HTML view of EM_MOT: a broadcast website's pages from the files the receiver plug-in
// wrote into the channel's data folder. Pages, style sheets and images are read only from inside
// that folder (relative links that climb out of it, absolute paths and links that lead out
// through a symbolic link are refused), and nothing is fetched from the network.
#ifndef PLAYER_DATASERVICE_SITE_BROWSER_H
#define PLAYER_DATASERVICE_SITE_BROWSER_H

#include <QString>
#include <QStringList>
#include <QTextBrowser>
#include <QUrl>

namespace koru::player {

class SiteBrowser : public QTextBrowser {
  public:
    explicit SiteBrowser(QWidget* parent);

    // Loads a start page; its folder is the site's folder from now on.
    void Open(const QString& start_page);
    // Stops showing the page (the view is emptied).
    void Stop();
    // True when the last page was there and everything it refers to inside its folder was too
    // (the receiver may not have had all the files yet).
    bool PageComplete();
    // The references refused since the last Open (outside the folder, or not local), each once.
    const QStringList& refused() const { return refused_; }
    // Pages loaded since the browser was made.
    int pages_loaded() const { return pages_loaded_; }

    QVariant loadResource(int type, const QUrl& name) override;

  private:
    // The local file a reference names, when it lies inside the site's folder; empty otherwise.
    QString FileInside(const QUrl& reference) const;
    void FollowLink(const QUrl& link);

    QString folder_;  // canonical, without a trailing "/"
    QStringList refused_;
    bool missing_ = false;
    int pages_loaded_ = 0;
};

}  // namespace koru::player

#endif
