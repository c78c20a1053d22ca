// qx_helpdoc: renders the operator's guide from Markdown into a PDF.
// Usage: qx_helpdoc SOURCE.md OUTPUT.pdf
// Runs at build time, so it needs no display: start it with
// QT_QPA_PLATFORM=offscreen.
#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <cstdio>

namespace {

constexpr int BodyPointSize = 10;
constexpr int Resolution = 300;
const QColor HeadingColour(0x06, 0x2a, 0x8a);

// Headings in the product's blue (Markdown carries no colours).
void ColourHeadings(QTextDocument& document) {
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    if (block.blockFormat().headingLevel() == 0) continue;
    QTextCursor cursor(block);
    cursor.select(QTextCursor::BlockUnderCursor);
    QTextCharFormat colour;
    colour.setForeground(HeadingColour);
    cursor.mergeCharFormat(colour);
  }
}

// Thin single-line grid, no spacing between cells, full page width, and a
// shaded header row.
void FormatTables(QTextDocument& document) {
  for (QTextFrame* frame : document.rootFrame()->childFrames()) {
    auto* table = qobject_cast<QTextTable*>(frame);
    if (!table) continue;
    QTextTableFormat format = table->format();
    format.setBorder(2);  // pixels at the print resolution: a hairline
    format.setBorderBrush(QColor(0x8a, 0x94, 0xa6));
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderCollapse(true);
    format.setCellSpacing(0);
    format.setCellPadding(6);
    format.setHeaderRowCount(1);  // repeated when a table breaks across pages
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    table->setFormat(format);
    for (int column = 0; column < table->columns(); ++column) {
      QTextTableCell cell = table->cellAt(0, column);
      QTextCharFormat header = cell.format();
      header.setBackground(QColor(0xdc, 0xe4, 0xf7));
      cell.setFormat(header);
    }
  }
}

int Fail(const QString& message) {
  std::fprintf(stderr, "qx_helpdoc: %s\n", qPrintable(message));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3) return Fail(QStringLiteral("usage: qx_helpdoc SOURCE.md OUTPUT.pdf"));
  const QString sourcePath = QString::fromLocal8Bit(argv[1]);
  const QString outputPath = QString::fromLocal8Bit(argv[2]);

  QFile source(sourcePath);
  if (!source.open(QIODevice::ReadOnly | QIODevice::Text))
    return Fail(QStringLiteral("cannot read %1: %2").arg(sourcePath, source.errorString()));
  const QString markdown = QString::fromUtf8(source.readAll());

  QPdfWriter pdf(outputPath);
  pdf.setTitle(QStringLiteral("QxOPCServer Help"));
  pdf.setCreator(QStringLiteral("Quorvanex Solutions LLC"));
  pdf.setResolution(Resolution);
  pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                QMarginsF(20, 18, 20, 20), QPageLayout::Millimeter));

  // Lay the text out directly in the writer's pixels, one page per page
  // body, so that fonts and page breaks are the printed ones.
  QTextDocument document;
  document.documentLayout()->setPaintDevice(&pdf);
  QFont body(QStringLiteral("DejaVu Sans"));
  body.setStyleHint(QFont::SansSerif);
  body.setPointSize(BodyPointSize);
  document.setDefaultFont(body);
  document.setMarkdown(markdown);
  if (document.isEmpty()) return Fail(QStringLiteral("%1 holds no text").arg(sourcePath));
  FormatTables(document);
  ColourHeadings(document);
  const QSizeF page = pdf.pageLayout().paintRectPixels(pdf.resolution()).size();
  document.setPageSize(page);

  QPainter painter(&pdf);
  if (!painter.isActive()) return Fail(QStringLiteral("cannot write %1").arg(outputPath));
  QFont footer(body);
  footer.setPointSize(BodyPointSize - 2);
  const int pages = document.pageCount();
  for (int index = 0; index < pages; ++index) {
    if (index > 0) pdf.newPage();
    painter.save();
    painter.translate(0, -index * page.height());
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, index * page.height(), page.width(), page.height());
    painter.setClipRect(context.clip);
    document.documentLayout()->draw(&painter, context);
    painter.restore();
    // The page number sits in the bottom margin.
    painter.setFont(footer);
    painter.setPen(QColor(0x55, 0x55, 0x55));
    painter.drawText(QRectF(0, page.height(), page.width(), Resolution / 4.0),
                     Qt::AlignHCenter | Qt::AlignBottom,
                     QStringLiteral("QxOPCServer Help \u2014 %1 / %2").arg(index + 1).arg(pages));
  }
  painter.end();
  return 0;
}
