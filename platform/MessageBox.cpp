#include "platform/MessageBox.h"

#include "platform/Dialogs.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// A carriage return starts a new line; the text is otherwise shown as it is, spaces included.
QString toRichText(const QString &text)
{
    QString html = text.toHtmlEscaped();
    html.replace(u"\r\n"_s, u"\n"_s);
    html.replace(u'\r', u'\n');
    return u"<p style=\"white-space:pre-wrap\">"_s + html + u"</p>"_s;
}

} // namespace

MessageBox::MessageBox(const QString &text, bool errorIcon, QWidget *parent)
    : QDialog(parent)
    , m_text(text)
    , m_errorIcon(errorIcon)
{
    setWindowTitle(Dialogs::applicationTitle());
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);
    setObjectName(u"VedalkaMessageBox"_s);

    m_label = new QLabel(this);
    m_label->setObjectName(u"text"_s);
    m_label->setTextFormat(Qt::RichText);
    m_label->setText(toRichText(text));
    m_label->setWordWrap(true);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);

    // Sized to the text: as wide as its longest line, but no wider than half the screen.
    const QFontMetrics fm(m_label->font());
    int natural = 0;
    QString plain = text;
    plain.replace(u"\r\n"_s, u"\n"_s);
    plain.replace(u'\r', u'\n');
    for (const QString &line : plain.split(u'\n'))
        natural = qMax(natural, fm.horizontalAdvance(line));
    m_label->setFixedWidth(qBound(1, natural + 2 * m_label->margin() + 4, qMax(1, area.width() / 2)));

    auto *body = new QHBoxLayout;
    body->setSpacing(16);
    if (errorIcon) {
        auto *icon = new QLabel(this);
        icon->setObjectName(u"icon"_s);
        const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, this).pixmap(size, size));
        icon->setAlignment(Qt::AlignTop);
        body->addWidget(icon, 0, Qt::AlignTop);
    }
    body->addWidget(m_label, 1);

    m_ok = new QPushButton(u"OK"_s, this);
    m_ok->setObjectName(u"ok"_s);
    m_ok->setDefault(true);
    m_ok->setAutoDefault(true);
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
    adjustSize();
}

void MessageBox::showEvent(QShowEvent *event)
{
    // The final size is known only now; keep the box centred on its screen.
    if (QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->geometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}
