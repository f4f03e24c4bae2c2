// SPDX-License-Identifier: MIT
// tambrel-icon: turns a rendered frame into the hicolor theme's icon sizes:
// the centred square of the picture, scaled smoothly.
//
//   tambrel-icon SOURCE.png OUTDIR NAME
// writes OUTDIR/SIZExSIZE/apps/NAME.png for 16, 24, 32, 48, 64, 128, 192, 256 and
// 512 (192 and 512 are what the web page installs with).

#include <QDir>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: tambrel-icon SOURCE.png OUTDIR NAME\n");
        return 2;
    }
    QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "tambrel-icon: cannot read %s\n", argv[1]);
        return 2;
    }
    const int side = std::min(source.width(), source.height());
    const QImage square = source.copy((source.width() - side) / 2, (source.height() - side) / 2, side, side);
    for (int size : {16, 24, 32, 48, 64, 128, 192, 256, 512}) {
        const QString dir = QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        const QString file = QString("%1/%2.png").arg(dir, QString::fromLocal8Bit(argv[3]));
        if (!QDir().mkpath(dir) ||
            !square.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(file, "PNG")) {
            std::fprintf(stderr, "tambrel-icon: cannot write %s\n", qPrintable(file));
            return 2;
        }
    }
    return 0;
}
