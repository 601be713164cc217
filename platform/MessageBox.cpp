#include "platform/MessageBox.h"

#include "platform/Dialogs.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextLayout>
#include <QVBoxLayout>
#include <QWindow>
#include <QtMath>

using namespace Qt::StringLiterals;

namespace {

// The text's lines, each started by a carriage return or a line feed and broken to fit `width`:
// at spaces where it can and inside a word where it must, so that even a path without spaces
// is shown whole. `widest` gets the widest line's width as laid out, which the font's rounded
// advances can fall short of.
QStringList wrapped(const QString &text, const QFont &font, qreal width, qreal &widest)
{
    QString plain = text;
    plain.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    QStringList lines;
    for (const QString &paragraph : plain.split(u'\n')) {
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines.append(paragraph.mid(line.textStart(), line.textLength()));
            widest = qMax(widest, line.naturalTextWidth());
        }
        layout.endLayout();
    }
    return lines;
}

} // namespace

MessageBox::MessageBox(const QString &text, bool errorIcon, QWidget *parent)
    : QDialog(parent)
    , m_text(text)
{
    setWindowTitle(Dialogs::applicationTitle());
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);
    setObjectName(u"VedalkaMessageBox"_s);

    auto *label = new QLabel(this);
    label->setObjectName(u"text"_s);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);

    // Sized to the text: as wide as its longest line, but no wider than half the screen, where
    // the lines are broken by hand (a label breaks only at spaces).
    qreal natural = 0, unused = 0;
    wrapped(text, label->font(), 1e6, natural);
    constexpr int Slack = 4;
    const int width = qBound(1, qCeil(natural) + Slack, qMax(1, area.width() / 2));
    label->setText(wrapped(text, label->font(), width - Slack, unused).join(u'\n'));
    label->setFixedWidth(width);

    auto *body = new QHBoxLayout;
    body->setSpacing(16);
    if (errorIcon) {
        auto *icon = new QLabel(this);
        icon->setObjectName(u"icon"_s);
        const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, this).pixmap(size, size));
        body->addWidget(icon, 0, Qt::AlignTop);
    }
    body->addWidget(label, 1);

    m_ok = new QPushButton(u"OK"_s, this);
    m_ok->setObjectName(u"ok"_s);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(16);
    layout->addLayout(body);
    layout->addWidget(m_ok, 0, Qt::AlignHCenter);
    m_ok->setMinimumWidth(88);
    m_ok->setFocus();

    layout->activate();
}

bool MessageBox::event(QEvent *event)
{
    if (event->type() == QEvent::Show) {
        // The final size is known only now. The frame the desktop puts around the box is known
        // only once it is on the screen; until then, the main window's frame is the best guess.
        const QWidget *other = parentWidget() ? parentWidget()->window() : QApplication::activeWindow();
        centre(other && other->windowHandle() ? other->windowHandle()->frameMargins() : QMargins());
    }
    const bool result = QDialog::event(event);
    // The desktop tells the frame's size after the box appears: centre it again, frame included.
    // This happens once, so a box the user moves stays where it is put.
    if ((event->type() == QEvent::Move || event->type() == QEvent::WindowActivate) && windowHandle()) {
        const QMargins frame = windowHandle()->frameMargins();
        if (!frame.isNull() && frame != m_centredFrame)
            centre(frame);
    }
    return result;
}

void MessageBox::centre(const QMargins &frame)
{
    m_centredFrame = frame;
    const QScreen *s = screen();
    if (!s)
        return;
    QRect outer = geometry().marginsAdded(frame);
    outer.moveCenter(s->geometry().center());
    // move() places the frame's corner for a window that has one, the client's otherwise.
    const bool frameKnown = windowHandle() && !windowHandle()->frameMargins().isNull();
    move(frameKnown ? outer.topLeft() : outer.topLeft() + QPoint(frame.left(), frame.top()));
}
