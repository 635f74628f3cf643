// upcheck: tells whether a newer release of the player is on the maker's server and offers to
// download it.
//   upcheckEngKORU VERSION     (also upcheckKORU, upcheckEngTALVEN, upcheckTALVEN)
// VERSION is the installed version; the information file is fetched into the working folder.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QTimer>
#include <string>

#include "m4systems/log.h"
#include "upcheck/build_variant.h"
#include "upcheck/upcheck_dlg.h"

#ifndef KORU_UPCHECK_PRODUCT
#define KORU_UPCHECK_PRODUCT "KORU"
#define KORU_UPCHECK_LANGUAGE 1
#endif

int main(int argc, char** argv) {
    using namespace koru::upcheck;
    QApplication application(argc, argv);
    QFont::insertSubstitutions("돋움", {"NanumGothic", "NanumBarunGothic"});
    const BuildVariant& variant =
        FindBuildVariant(KORU_UPCHECK_PRODUCT, static_cast<Language>(KORU_UPCHECK_LANGUAGE));

    VersionCheck::Setup setup;
    setup.host = MakerHost();
    setup.base_path = ServerBasePath(variant);
    setup.working_folder = QDir::currentPath().toStdString();
    // The whole command line after the program's name.
    for (int i = 1; i < argc; ++i) {
        if (i > 1) setup.current_version += ' ';
        setup.current_version += argv[i];
    }
    log_debug_out("%s: server %s", variant.program, setup.base_path.c_str());

    UpcheckDlg dialog(variant, setup);
    QObject::connect(&dialog, &UpcheckDlg::ended, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    dialog.show();
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.StartCheck(); });
    return QApplication::exec();
}
