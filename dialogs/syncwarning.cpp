#include "syncwarning.h"
#include "ui_syncwarning.h"

#include "syncrules.h"

#include <QScreen>
#include <QScrollBar>

SyncWarning::SyncWarning(const QString &report, QWidget *parent, const QString &heading)
    : QDialog(parent), ui(std::make_unique<Ui::SyncWarning>())
{
    ui->setupUi(this);
    if (!heading.isEmpty())
        ui->label->setText(heading);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);
    ui->m_textEdit->appendPlainText(report);
    connect(ui->m_ok, &QPushButton::clicked, this, &QDialog::accept);
    fitReport(report);
    openAtFirstLine();
}

SyncWarning::~SyncWarning() = default;

void SyncWarning::openAtFirstLine()
{
    // A long report is read from its first heading down, and moved through with the keys
    // (Ctrl+Home, Ctrl+End, the arrows); Enter still answers Ok, the default button.
    ui->m_textEdit->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                            Qt::TextSelectableByKeyboard);
    ui->m_textEdit->moveCursor(QTextCursor::Start);
    ui->m_textEdit->setFocus();
}

void SyncWarning::fitReport(const QString &report)
{
    // One entry a line: the box takes the width of its longest line, so that a light's name
    // and what became of it are read together, as far as the screen lets it.
    const QFontMetrics metrics(ui->m_textEdit->font());
    const QStringList lines = report.split(QLatin1Char('\n'));
    int widest = 0;
    for (const QString &line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int margin =
        2 * int(ui->m_textEdit->document()->documentMargin()) + ui->m_textEdit->cursorWidth();
    const QSize text(widest + margin, int(lines.size()) * metrics.lineSpacing() + margin);
    layout()->activate();
    const QSize around = size() - ui->m_textEdit->viewport()->size() +
                         QSize(ui->m_textEdit->verticalScrollBar()->sizeHint().width(), 0);
    // The window manager's frame is not known before the box shows.
    const QSize frame(16, 40);
    const QScreen *shownOn = parentWidget() ? parentWidget()->screen() : screen();
    resize(SyncRules::reportBoxSize(size(), text + around,
                                    shownOn->availableGeometry().size() - frame));
}
