#include "app/Vedalka.h"

#include "components/SoundComponents.h"
#include "core/Cp1251.h"
#include "core/Failure.h"
#include "core/Files.h"
#include "core/IconFile.h"
#include "core/PhraseBase.h"
#include "core/RandomSource.h"
#include "core/SaveNote.h"
#include "core/Stores.h"
#include "platform/Contrast.h"
#include "platform/Dialogs.h"
#include "platform/Fonts.h"
#include "platform/IconDisplay.h"
#include "platform/Keyboard.h"
#include "platform/OnScreen.h"
#include "resources/Resources.h"
#include "windows/Add.h"
#include "windows/OProgramme.h"
#include "windows/Proverit.h"
#include "windows/StorableField.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QKeyEvent>
#include <QShortcut>
#include <QShowEvent>

#include <cstdio>
#include <limits>

#include <unistd.h>

using namespace Qt::StringLiterals;

TForm1::TForm1(QWidget *parent)
    : QMainWindow(parent)
{
    Resources::init();
    setupUi(this);
    Fonts::followDesign(this);
    setObjectName(u"Form1"_s);
    setWindowIcon(Resources::icon(u":/icons/mainwindow.png"_s));
    // The pictures are set here rather than in the window's description, which would decode a
    // file and scale it at the first frame: each is drawn at the sizes it is shown at.
    Image1->setDrawings(Resources::Drawings(u":/pictures/banner.png"_s));
    Karikatura->setDrawings(Resources::Drawings(u":/pictures/karikatura-start.png"_s));

    // The image list in its order, each image with the menu item that shows it.
    const std::pair<QString, QAction *> images[] = {
        {u"menu-about"_s, N1}, {u"menu-add-phrase"_s, N3}, {u"menu-tools"_s, N2->menuAction()},
        {u"menu-count-icons"_s, N4}, {u"menu-help"_s, N5->menuAction()}, {u"menu-check-icons"_s, N6}};
    for (const auto &[name, item] : images) {
        ImageList1.append(Resources::icon(u":/icons/"_s + name + u".png"_s));
        item->setIcon(ImageList1.last());
    }

    // The client area is 688 x 432; the menu bar sits above it. The controls keep their places,
    // so the window is never made smaller than that.
    resize(688, 432 + Oprogramme->sizeHint().height());
    client->setMinimumSize(688, 432);
    move(283, 110);
    followScheme();

    WavPlayer1 = new TWavPlayer(this);
    WavPlayer1->setObjectName(u"WavPlayer1"_s);

    // What the name field shows is exactly what is compared and logged. The output field takes
    // phrases longer than Qt's default limit for typed text.
    StorableField::install(Chel);
    Vedalka->setMaxLength(std::numeric_limits<int>::max());

    // Ctrl+Q closes the window as its close box does: the log is saved, or the window stays.
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this, this, &QWidget::close);
    // F10 opens the first menu, as on the desktop the design comes from.
    new QShortcut(QKeySequence(Qt::Key_F10), this, [this] { Oprogramme->setActiveAction(N5->menuAction()); });
    Keyboard::enterPressesButtons(this);

    Dialogs::connectGuarded(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    Dialogs::connectGuarded(Image1, &PictureBox::clicked, this, &TForm1::Image1Click);
    Dialogs::connectGuarded(N1, &QAction::triggered, this, &TForm1::N1Click);
    Dialogs::connectGuarded(N3, &QAction::triggered, this, &TForm1::N3Click);
    Dialogs::connectGuarded(N4, &QAction::triggered, this, &TForm1::N4Click);
    Dialogs::connectGuarded(N6, &QAction::triggered, this, &TForm1::N6Click);
    Chel->installEventFilter(this);

    Dialogs::guard([this] { FormCreate(); });
}

void TForm1::createWindows()
{
    AboutForm = new TAboutForm(this);
    Dobavlenie = new TDobavlenie(this);
    Proverka = new TProverka(this);
}

void TForm1::FormCreate()
{
    ZvukON->setChecked(true);
    m_previousName = "fffff";
    // Saves the last run left cut short are completed before anything reads the files; the
    // log's when it is prepared below.
    SaveNote::recover(Stores::phraseBase());
    SaveNote::recover(Stores::pictureIndex());

    if (!Files::exists(Stores::phraseBase())) {
        Dialogs::showMessage(u"какой-то идиот удалил файл baza.leh"_s);
        Files::CreatedFile base(Stores::phraseBase());
        Dialogs::showMessage(u"файл baza.leh был создан автоматически"_s);
        Dialogs::showMessage(u"введите в базу новые фразы"_s);
        base.close();
    }

    storeLastIconNumber();

    if (!Files::exists(Stores::resultLog()))
        Files::createEmpty(Stores::resultLog());
    m_resultLog.prepare(Stores::resultLog());
}

LineList &TForm1::pictureIndexForUse()
{
    if (m_pictureIndex)
        return *m_pictureIndex;
    if (!Files::exists(Stores::pictureIndex()))
        Files::createEmpty(Stores::pictureIndex());
    LineList index;
    index.load(Stores::pictureIndex());
    const QByteArray header = Stores::pictureIndexHeader();
    if (index.count() == 0) {
        index.append(header);
        index.append("1");
    }
    index.replace(0, header);
    return m_pictureIndex.emplace(std::move(index));
}

qint64 TForm1::storeLastIconNumber()
{
    const qint64 last = Stores::countIconRun() - 1;
    LineList &index = pictureIndexForUse();
    if (index.count() >= 2)
        index.replace(1, QByteArray::number(last));
    else
        index.append(QByteArray::number(last));
    index.saveChanged(Stores::pictureIndex());
    return last;
}

void TForm1::requestClose()
{
    if (!isVisible()) {
        // Still starting: nothing has been answered and nothing needs saving.
        ::_exit(0);
    }
    m_sessionEnding = true;
    for (int i = 0; i < 16; ++i) {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == this || !modal->close())
            break;
    }
    close();
}

void TForm1::saveAnswersAtEnd() noexcept
{
    const qsizetype count = m_resultLog.pendingCount();
    if (count == 0 || !saveOrKeepAnswers())
        return;
    // Nobody may see the window any more: the user learns from the terminal or the journal.
    const QString line = u"vedalka: the program ends with the display gone; the unsaved answers (%1) are saved in the "
                         "log %2"_s.arg(QString::number(count), Files::fullPath(Stores::resultLog()));
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

void TForm1::FormClose()
{
    m_pictureIndex.reset();
    // Answers kept from an earlier session go in first, then this run's.
    if (m_resultLog.needsSave())
        m_resultLog.save(Stores::resultLog());
}

bool TForm1::saveOrKeepAnswers() noexcept
{
    const QString log = Files::fullPath(Stores::resultLog());
    QString why;
    try {
        // A lock another program holds is waited for only briefly, so this cannot keep the
        // session waiting.
        FormClose();
        return true;
    } catch (const Failure &failure) {
        why = failure.text();
    } catch (...) {
        why = u"Unknown error"_s;
    }
    const qsizetype count = m_resultLog.pendingCount();
    if (count == 0)
        return false; // the log keeps what it had, and nothing of this run is lost
    QString line;
    try {
        const QString kept = m_resultLog.keep(Stores::resultLog());
        line = u"vedalka: could not save the log %1 (%2); the unsaved answers (%3) are kept in %4 and go "
               "into the log at the next start in %5"_s.arg(log, why, QString::number(count), kept, QDir::currentPath());
    } catch (const Failure &failure) {
        line = u"vedalka: could not save the log %1 (%2), nor keep the unsaved answers (%3): %4; "
               "they are lost"_s.arg(log, why, QString::number(count), failure.text());
    } catch (...) {
        line = u"vedalka: could not save the log %1 (%2): the unsaved answers (%3) are lost"_s.arg(log, why,
                                                                                            QString::number(count));
    }
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    return false;
}

void TForm1::Button1Click()
{
    PhraseBase base;
    base.load(Stores::phraseBase());
    RandomSource &random = RandomSource::global();
    random.randomize();

    if (Chel->text().isEmpty())
        Vedalka->setText(u"Имя-то напиши"_s);
    const QByteArray name = Cp1251::encode(Chel->text());
    if (name != m_previousName && !name.isEmpty())
        answerWith(name, base, random);
    // Not reached when a step fails, so the same name answers again.
    m_previousName = name;
}

void TForm1::answerWith(const QByteArray &name, PhraseBase &base, RandomSource &random)
{
    if (base.count() == 0) {
        Dialogs::showMessage(u"В базе нет ни одной фразы. Добавьте"_s);
        return;
    }
    // The draws come in this order from one seeding: phrase, icon, laughter.
    const QByteArray phrase = base.line(random.random(quint32(base.count())));
    showPhrase(phrase);
    m_resultLog.append(name + " - " + phrase);
    if (showCartoon(random) && !ZvukOFF->isChecked())
        laugh(random);
}

bool TForm1::showCartoon(RandomSource &random)
{
    const qint64 last = lastIconNumber();
    const qint64 n = random.random(quint32(qBound(qint64(0), last + 1, qint64(UINT32_MAX))));
    const QString icon = Stores::iconPath(n);
    if (!Files::exists(icon))
        return false;
    IconFile file;
    file.load(icon);
    // Drawn anew for the ratio of the screen the window is on, from the entry that fits it best.
    Karikatura->setPictureMaker([file](qreal ratio) { return QPixmap::fromImage(IconDisplay::picture(file, ratio)); });
    Karikatura->setAccessibleDescription(u"Самый похожий мультяшный герой: "_s + icon);
    return true;
}

void TForm1::laugh(RandomSource &random)
{
    const QString laughter = Stores::laughterPath(qint64(random.random(12)) + 1);
    if (!Files::exists(laughter))
        return;
    WavPlayer1->setFileName(laughter);
    WavPlayer1->play();
}

void TForm1::showPhrase(const QByteArray &phrase)
{
    // A phrase is shown from its start. One of absurd length (a file with no line breaks) is
    // shown in part, marked with an ellipsis: laying out millions of characters would freeze
    // the window. The log gets the whole phrase.
    constexpr qsizetype MaxShown = 100000;
    Vedalka->setText(Cp1251::decode(phrase.left(MaxShown)) + (phrase.size() > MaxShown ? u"…"_s : QString()));
    Vedalka->setCursorPosition(0);
}

qint64 TForm1::lastIconNumber()
{
    const QByteArray text = pictureIndexForUse().get(1);
    bool ok = false;
    const qint64 last = text.toLongLong(&ok);
    if (!ok)
        throw Failure(u"'%1' is not a valid integer value"_s.arg(Cp1251::decode(text)));
    return last;
}

void TForm1::Image1Click()
{
    static const char16_t *const remarks[] = {
        u"Щас как тыкну",
        u"не тыкай котёнка",
        u"Тыкни в лоб себе",
        u"Ведалка в том, что ты долбоёб!!",
        u"От чуды-Юды отстань",
    };
    RandomSource &random = RandomSource::global();
    random.randomize();
    Vedalka->setText(QString::fromUtf16(remarks[random.random(5)]));
}

void TForm1::ChelKeyPress(QChar key)
{
    if (key == u'\r')
        Dialogs::showMessage(u"Ты что читать не умеешь?\rНажимай кнопку ВЕДАЛКА"_s);
}

void TForm1::N1Click()
{
    showModal(AboutForm);
}

void TForm1::N3Click()
{
    showModal(Dobavlenie);
}

void TForm1::N4Click()
{
    const qint64 last = storeLastIconNumber();
    // A lone carriage return breaks a line in the box.
    Dialogs::showMessage(u"Последняя иконка под номером %1\r\r"
                         "Если после этой иконки есть иконки ещё, то номер иконки %2 пропущен.\r\r"
                         "Чтобы в программе могли использоваться все иконки необходимо,\r"
                         "чтобы названия иконок были числами от 0 до номера последней иконки,\r"
                         "не пропуская ни одного числа!!!"_s.arg(last).arg(last + 1));
}

void TForm1::N6Click()
{
    showModal(Proverka);
}

void TForm1::showModal(QDialog *window)
{
    window->exec();
    // A plain window manager may leave no window active when a box and the window under it
    // close one after the other; typing and Ctrl+Q would then go nowhere.
    if (isVisible())
        activateWindow();
}

void TForm1::followScheme()
{
    // The labels and radio buttons stand on the designed silver, the fields' green text on the
    // desktop's field colour, the black caption on the desktop's button face.
    Contrast::follow(client, QPalette::WindowText, QPalette::Window, Qt::black);
    Contrast::follow(Chel, QPalette::Base, QPalette::Text, Qt::white);
    Contrast::follow(Vedalka, QPalette::Base, QPalette::Text, Qt::white);
    Contrast::follow(Button1, QPalette::Button, QPalette::ButtonText, QColor(192, 192, 192));
}

void TForm1::changeEvent(QEvent *event)
{
    // The desktop's scheme changed while the program runs.
    if (event->type() == QEvent::PaletteChange)
        followScheme();
    QMainWindow::changeEvent(event);
}

void TForm1::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        OnScreen::keep(this);
    Resources::useProgramIcon();
    QMainWindow::showEvent(event);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    // The key goes on to the field after the handler has seen it.
    if (watched == Chel && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent *>(event)->text();
        if (text.size() == 1)
            Dialogs::guard([this, &text] { ChelKeyPress(text.at(0)); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // The user's close: an error is shown, the window stays open and the answers wait for the
    // next attempt. Unless the session asks to end meanwhile: the box is closed then. A save
    // takes no signal or close request while it runs, so only the box lets one in.
    if (!m_sessionEnding && !Dialogs::guard([this] { FormClose(); }) && !m_sessionEnding) {
        event->ignore();
        return;
    }
    if (m_sessionEnding && !saveOrKeepAnswers())
        m_exitCode = 1;
    event->accept();
}
