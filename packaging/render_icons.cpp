// Writes the desktop icon as square PNGs, one per size, for the icon theme.
//
//   quillmark-render-icons SOURCE OUTDIR NAME SIZE...
//
// Each SIZE gives OUTDIR/SIZExSIZE/apps/NAME.png. SOURCE is the window icon
// (any format Qt reads, ICO included), scaled to fit the square and centred
// on transparency; when SOURCE is "-" or cannot be read, the icon is drawn
// here: a white quill on an indigo rounded square. The output is the same on
// every run. Exit code 0 when every file was written, 1 otherwise, 2 for bad
// arguments.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

QImage drawnIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 128.0, size / 128.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(59, 75, 168));
  p.drawRoundedRect(QRectF(4, 4, 120, 120), 24, 24);
  QPainterPath feather;
  feather.moveTo(36, 96);
  feather.cubicTo(44, 60, 70, 30, 100, 22);
  feather.cubicTo(96, 52, 74, 80, 36, 96);
  p.setBrush(QColor(250, 250, 245));
  p.drawPath(feather);
  p.setPen(QPen(QColor(40, 44, 70), 4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(30, 104), QPointF(62, 66));
  p.setPen(QPen(QColor(250, 200, 70), 5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(24, 108), QPointF(52, 108));
  return image;
}

QImage scaledIcon(const QImage& source, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  const QImage scaled = source.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  QPainter p(&image);
  p.drawImage((size - scaled.width()) / 2, (size - scaled.height()) / 2, scaled);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fputs("usage: quillmark-render-icons SOURCE OUTDIR NAME SIZE...\n", stderr);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QGuiApplication application(qtArgc, qtArgv);

  const QString sourcePath = QString::fromLocal8Bit(argv[1]);
  QImage source;
  if (sourcePath != QLatin1String("-")) {
    QImageReader reader(sourcePath);
    source = reader.read();
    if (source.isNull())
      std::fprintf(stderr, "quillmark-render-icons: cannot read %s; drawing the icon instead\n", argv[1]);
  }
  const QDir outDir(QString::fromLocal8Bit(argv[2]));
  const QString name = QString::fromLocal8Bit(argv[3]);
  int status = 0;
  for (int i = 4; i < argc; ++i) {
    bool ok = false;
    const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
    if (!ok || size < 1 || size > 1024) {
      std::fprintf(stderr, "quillmark-render-icons: bad size %s\n", argv[i]);
      return 2;
    }
    const QString folder = QStringLiteral("%1x%1/apps").arg(size);
    const QImage icon = source.isNull() ? drawnIcon(size) : scaledIcon(source, size);
    QImage fixed = icon.convertToFormat(QImage::Format_ARGB32);
    fixed.setDotsPerMeterX(2835);
    fixed.setDotsPerMeterY(2835);
    if (!outDir.mkpath(folder) || !fixed.save(outDir.filePath(folder + "/" + name + ".png"), "PNG")) {
      std::fprintf(stderr, "quillmark-render-icons: cannot write the %dx%d icon\n", size, size);
      status = 1;
    }
  }
  return status;
}
