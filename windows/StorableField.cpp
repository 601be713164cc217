#include "windows/StorableField.h"

#include "core/Cp1251.h"
#include "core/Cp1251Validator.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyleOptionFrame>
#include <QStylePainter>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

// A tooltip of the field's own. Qt's tooltip hides at the next key, which comes at once when
// the user is typing: this one stays for a few seconds, or until the field loses the focus.
class RefusalTip : public QLabel
{
public:
    explicit RefusalTip(QLineEdit *field)
        : QLabel(field, Qt::ToolTip | Qt::BypassGraphicsProxyWidget)
        , m_field(field)
    {
        setObjectName(u"refusalTip"_s);
        setPalette(QToolTip::palette());
        setFont(QToolTip::font());
        setForegroundRole(QPalette::ToolTipText);
        setBackgroundRole(QPalette::ToolTipBase);
        setMargin(1 + style()->pixelMetric(QStyle::PM_ToolTipLabelFrameWidth, nullptr, this));
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, this, &QWidget::hide);
        field->installEventFilter(this);
    }

    void say(const QString &text)
    {
        // A screen reader hears it as the field's description, which changes with an event.
        if (!isVisible())
            m_description = m_field->accessibleDescription();
        m_field->setAccessibleDescription(text);
        setText(text);
        adjustSize();
        // Just below the caret: the user sees it where the letter went missing.
        const QRect caret = m_field->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        move(m_field->mapToGlobal(QPoint(caret.left(), m_field->height())));
        show();
        raise();
        m_timer.start(4000);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_field && (event->type() == QEvent::FocusOut || event->type() == QEvent::Hide))
            hide();
        return QLabel::eventFilter(watched, event);
    }

    void hideEvent(QHideEvent *event) override
    {
        m_field->setAccessibleDescription(m_description);
        QLabel::hideEvent(event);
    }

    void paintEvent(QPaintEvent *event) override
    {
        {
            QStylePainter p(this);
            QStyleOptionFrame frame;
            frame.initFrom(this);
            p.drawPrimitive(QStyle::PE_PanelTipLabel, frame);
        }
        QLabel::paintEvent(event);
    }

private:
    QLineEdit *m_field;
    QTimer m_timer;
    QString m_description;
};

// The code-page rule, applied so that a refused character leaves the field exactly as it was:
// the edit that offered it is undone by the field itself (selection and undo history kept),
// and what it offered that can be stored is then put in as an edit of its own, which Ctrl+Z
// takes back. Text the program sets keeps its storable characters at once.
class FieldValidator : public Cp1251Validator
{
public:
    explicit FieldValidator(QLineEdit *field)
        : Cp1251Validator(field)
        , m_field(field)
    {
    }

    State validate(QString &input, int &pos) const override
    {
        QString storable = input;
        int storablePos = pos;
        Cp1251Validator::validate(storable, storablePos);
        if (storable == input || !m_field->isUndoAvailable()) {
            // Nothing refused, or text set by the program, which keeps no undo history.
            input = storable;
            pos = storablePos;
            m_accepted = storable;
            return Acceptable;
        }
        // The edit replaced one stretch of the accepted text: what lies between the parts the two
        // share at either end.
        const QString &before = m_accepted;
        const qsizetype head = std::mismatch(before.begin(), before.end(), input.begin(), input.end()).first - before.begin();
        const qsizetype tail =
            std::mismatch(before.rbegin(), before.rend() - head, input.rbegin(), input.rend() - head).first - before.rbegin();
        const QString kept = Cp1251::keepStorable(input.mid(head, input.size() - head - tail));
        if (!kept.isEmpty()) {
            QLineEdit *field = m_field;
            const qsizetype replaced = before.size() - head - tail;
            QTimer::singleShot(0, field, [field, before, head, replaced, kept] {
                if (field->text() != before)
                    return;
                field->setSelection(int(head), int(replaced));
                field->insert(kept);
            });
        }
        return Invalid;
    }

private:
    QLineEdit *m_field;
    mutable QString m_accepted;
};

// The words shown next to the field for the characters it did not take.
QString refusalText(const QStringList &characters)
{
    // One fewer than the validator reports, so that "and others" is known to be true.
    constexpr qsizetype MaxNamed = Cp1251Validator::MostReported - 1;
    QStringList quoted;
    for (const QString &c : characters.mid(0, MaxNamed))
        quoted.append(u"«"_s + c + u"»"_s);
    if (characters.size() == 1)
        return u"Символ "_s + quoted.first() + u" не поддерживается"_s;
    QString list = quoted.join(u", "_s);
    if (characters.size() > MaxNamed)
        list += u" и другие"_s;
    return u"Символы "_s + list + u" не поддерживаются"_s;
}

} // namespace

namespace StorableField {

void install(QLineEdit *field)
{
    auto *validator = new FieldValidator(field);
    field->setValidator(validator);
    field->setMaxLength(std::numeric_limits<int>::max());
    auto *tip = new RefusalTip(field);
    QObject::connect(validator, &Cp1251Validator::refused, tip,
                     [tip](const QStringList &characters) { tip->say(refusalText(characters)); });
}

} // namespace StorableField
