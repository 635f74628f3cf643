// slideshow: what a slideshow picture costs the player. Prints, side by side in one run:
//   - the decode time of a 320x240 slide, JPEG (the player's reader) and PNG, next to Qt's own
//     JPEG decode of the same bytes;
//   - the time EM_MOT takes for a slide report: a new picture, and the same picture again (a
//     burst of reports, the carousel's second copy);
//   - resident memory before and after 100 (and 200) different slides shown and painted.
//   slideshow [--slides N]
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "player/dataservice/em_mot.h"
#include "player/dataservice/slide_picture.h"
#include "player/skin/jpeg_file.h"
#include "support/temp_dir.h"

namespace {

long long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atoll(line.c_str() + 6);
    }
    return -1;
}

// A 320x240 picture like a broadcast slide: a gradient, bars and text, different for each n.
QImage MakeSlide(int n) {
    QImage image(320, 240, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 320, 240);
    gradient.setColorAt(0, QColor::fromHsv((n * 37) % 360, 200, 220));
    gradient.setColorAt(1, QColor::fromHsv((n * 37 + 120) % 360, 180, 60));
    painter.fillRect(image.rect(), gradient);
    for (int bar = 0; bar < 8; ++bar)
        painter.fillRect(bar * 40, 170, 40, 70, QColor::fromHsv((bar * 45 + n) % 360, 255, 255));
    QFont font("DejaVu Sans");
    font.setPixelSize(34);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 40, 320, 100), Qt::AlignCenter, QString("Slide %1").arg(n));
    return image;
}

template <typename F>
double MedianMicroseconds(int runs, F&& f) {
    std::vector<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        f(i);
        times.push_back(timer.nsecsElapsed() / 1000.0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    int count = 100;
    if (argc == 3 && std::strcmp(argv[1], "--slides") == 0) count = std::max(1, std::atoi(argv[2]));

    koru::test::TempDir folder;
    std::vector<std::string> jpegs;
    std::vector<std::string> pngs;
    long long jpeg_bytes = 0;
    for (int n = 0; n < 2 * count; ++n) {
        const QImage slide = MakeSlide(n);
        jpegs.push_back((folder / ("slide" + std::to_string(n) + ".jpg")).string());
        pngs.push_back((folder / ("slide" + std::to_string(n) + ".png")).string());
        slide.save(QString::fromStdString(jpegs.back()), "JPG", 85);
        slide.save(QString::fromStdString(pngs.back()), "PNG");
        jpeg_bytes += QFileInfo(QString::fromStdString(jpegs.back())).size();
    }
    std::printf("slides: %d of 320x240, JPEG %lld bytes on average\n", 2 * count,
                jpeg_bytes / (2 * count));

    std::vector<QByteArray> jpeg_data;
    std::vector<QByteArray> png_data;
    for (int n = 0; n < count; ++n) {
        jpeg_data.push_back(*koru::player::ReadSlideFile(jpegs[n]));
        png_data.push_back(*koru::player::ReadSlideFile(pngs[n]));
    }
    const double reader_us =
        MedianMicroseconds(count, [&](int i) { koru::skin::ReadJpegFile(jpegs[i]); });
    const double jpeg_us = MedianMicroseconds(
        count, [&](int i) { koru::player::DecodeSlide(jpegs[i], jpeg_data[i]); });
    const double qt_jpeg_us =
        MedianMicroseconds(count, [&](int i) { QImage::fromData(jpeg_data[i], "JPG"); });
    const double png_us =
        MedianMicroseconds(count, [&](int i) { koru::player::DecodeSlide(pngs[i], png_data[i]); });
    std::printf(
        "decode of a 320x240 slide (median of %d): JPEG %.0f us (of which ReadJpegFile "
        "%.0f us; Qt's own JPEG decode %.0f us), PNG %.0f us\n",
        count, jpeg_us, reader_us, qt_jpeg_us, png_us);

    QWidget main;
    main.resize(360, 380);
    main.show();
    koru::player::EM_MOT mot(&main, pngs[2 * count - 1]);
    mot.Place(QRect(20, 34, 320, 240));
    mot.Show();
    QImage screen(320, 240, QImage::Format_RGB32);
    const auto paint = [&] {
        QPainter painter(&screen);
        mot.render(&painter);
    };
    paint();
    const int logo_decodes = mot.decodes();
    const long long before_kb = ResidentKb();
    const double show_us = MedianMicroseconds(count, [&](int i) {
        mot.ShowFile(jpegs[i]);
        paint();
    });
    const long long after_kb = ResidentKb();
    const int after_new = mot.decodes();
    const int new_decodes = after_new - logo_decodes;
    const double repeat_us = MedianMicroseconds(count, [&](int) {
        mot.ShowFile(jpegs[count - 1]);
        paint();
    });
    const int repeat_decodes = mot.decodes() - after_new;
    for (int i = count; i < 2 * count; ++i) {
        mot.ShowFile(jpegs[i]);
        paint();
    }
    const long long after_twice_kb = ResidentKb();
    std::printf(
        "EM_MOT, report to painted picture (median): new slide %.0f us, the same slide "
        "again %.0f us; decodes: %d for %d new slides, %d for %d repeated "
        "reports\n",
        show_us, repeat_us, new_decodes, count, repeat_decodes, count);
    std::printf(
        "resident memory: %lld kB before, %lld kB after %d slides (%+lld kB), %lld kB "
        "after %d (%+lld kB)\n",
        before_kb, after_kb, count, after_kb - before_kb, after_twice_kb, 2 * count,
        after_twice_kb - before_kb);
    return 0;
}
