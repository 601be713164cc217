// The main window of Ведал-ка!, built from Vedalka.ui, and the owner of everything that lives
// for the whole run. Creating it runs FormCreate, which prepares the data files in the working
// directory; closing it runs FormClose, which writes the result log. Every handler runs inside
// Dialogs::guard, so a failure is shown and the program goes on.
#pragma once

#include "core/LineList.h"
#include "core/ResultLog.h"

#include "ui_Vedalka.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>

#include <optional>

class PhraseBase;
class QDialog;
class RandomSource;
class TAboutForm;
class TDobavlenie;
class TProverka;
class TWavPlayer;

class TForm1 : public QMainWindow, public Ui::TForm1
{
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);

    // Makes the About, add-phrase and icon check windows, hidden, in that order; the menu shows
    // them modally.
    void createWindows();

    TAboutForm *AboutForm = nullptr;
    TDobavlenie *Dobavlenie = nullptr;
    TProverka *Proverka = nullptr;

    // The six 16 x 16 menu images.
    QList<QIcon> ImageList1;
    // Plays the laughter; default settings, no stored sound.
    TWavPlayer *WavPlayer1 = nullptr;

    // The session or a signal asks the program to end: whatever is open over the main window
    // is closed, then the main window. Unlike the user's close, this one always ends the
    // program: answers the log cannot take are kept in a note in the state folder, with a line
    // on stderr instead of an error box that nobody may be there to dismiss.
    void requestClose();
    // The process ends without the window closing (the display went away): the answers not yet
    // in the log are added to it, or else kept in such a note, with a line on stderr saying
    // where they went. Does nothing when none are waiting.
    void saveAnswersAtEnd() noexcept;
    // 1 when a session's end could not write the log, 0 otherwise.
    int exitCode() const noexcept { return m_exitCode; }

    // The window's state, for the handlers and for tests.
    const QByteArray &previousName() const { return m_previousName; }
    // The in-memory picture index; empty when start-up stopped before making it or after close.
    const std::optional<LineList> &pictureIndex() const { return m_pictureIndex; }
    const ResultLog &resultLog() const { return m_resultLog; }

    // Handlers of the controls and menu items.
    void Button1Click();
    void Image1Click();
    void ChelKeyPress(QChar key);
    void N1Click();
    void N3Click();
    void N4Click();
    void N6Click();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    // Shows a secondary window modally and gives the focus back afterwards.
    void showModal(QDialog *window);
    void followScheme();
    void FormClose();
    // The save at a session's end: never waits long and never shows anything. False when the
    // log could not be written.
    bool saveOrKeepAnswers() noexcept;
    // The picture index, read again from "picture.dat" when start-up never made it or closing
    // has already discarded it.
    LineList &pictureIndexForUse();
    // Counts the icon run, puts its last number into the picture index and saves the index.
    qint64 storeLastIconNumber();
    // The steps of an answer to a new, non-empty name.
    void answerWith(const QByteArray &name, PhraseBase &base, RandomSource &random);
    // Shows the drawn icon; false when there is no such file.
    bool showCartoon(RandomSource &random);
    void laugh(RandomSource &random);
    void showPhrase(const QByteArray &phrase);
    // The last icon number, line 1 of the picture index.
    qint64 lastIconNumber();

    QByteArray m_previousName;
    std::optional<LineList> m_pictureIndex;
    ResultLog m_resultLog;
    bool m_sessionEnding = false;
    int m_exitCode = 0;
};
