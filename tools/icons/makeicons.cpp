// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the program's icon for installation: PNG files for the desktop's icon theme and a
// Windows .ico, all from the one drawing the window uses.
//
// Usage: makeicons OUTDIR SIZE...   writes OUTDIR/varbelo-SIZE.png for each size and
//                                   OUTDIR/varbelo.ico holding every size up to 256
#include "mouseicon.h"

#include <QBuffer>
#include <QDir>
#include <QSaveFile>
#include <QList>
#include <QtEndian>

#include <cstdio>
#include <cstdlib>

namespace {

QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG");
    return bytes;
}

template<typename T>
void put(QByteArray &out, T value)
{
    const T little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&little), sizeof little);
}

// An icon directory whose images are stored as PNG, which Windows reads since Vista.
QByteArray ico(const QList<int> &sizes)
{
    QList<QByteArray> images;
    for (int size : sizes)
        images << png(mouseIconImage(size));
    QByteArray out;
    put<quint16>(out, 0); // reserved
    put<quint16>(out, 1); // an icon, not a cursor
    put<quint16>(out, quint16(sizes.size()));
    quint32 offset = 6 + 16 * quint32(sizes.size());
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        out.append(char(sizes[i] % 256)); // 0 stands for 256
        out.append(char(sizes[i] % 256));
        out.append(char(0)); // no palette
        out.append(char(0)); // reserved
        put<quint16>(out, 1); // colour planes
        put<quint16>(out, 32); // bits per pixel
        put<quint32>(out, quint32(images[i].size()));
        put<quint32>(out, offset);
        offset += quint32(images[i].size());
    }
    for (const QByteArray &image : images)
        out += image;
    return out;
}

bool write(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    std::fprintf(stderr, "makeicons: cannot write %s: %s\n", qPrintable(path),
                 qPrintable(file.errorString()));
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: makeicons OUTDIR SIZE...\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QList<int> icoSizes;
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 1 || size > 1024) {
            std::fprintf(stderr, "makeicons: size %s is not between 1 and 1024\n", argv[i]);
            return 2;
        }
        if (!write(out.filePath(QStringLiteral("varbelo-%1.png").arg(size)),
                   png(mouseIconImage(size))))
            return 1;
        if (size <= 256)
            icoSizes << size;
    }
    return write(out.filePath(QStringLiteral("varbelo.ico")), ico(icoSizes)) ? 0 : 1;
}
