#include "exports/ExportProgress.h"
#include "support/TempDir.h"
#include "ui/DialogScript.h"
#include "ui/QtDesktopPort.h"
#include "ui/QtMessagePort.h"
#include "ui/QtRunFeedback.h"
#include "ui/TransferProgress.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

namespace vellrun::ui {
namespace {

using Kind = DialogScript::Kind;

TEST(QtMessagePortTest, ScriptedDialogsAreRecordedAndAnsweredInOrder) {
    DialogScript::Begin();
    QtMessagePort port;
    port.ErrorBox("Save Attribute returned error 0xFFFFFD5A");
    port.InfoBox("Done");
    port.PlainBox("Plain");

    // Without a scripted answer a question takes its default button.
    EXPECT_FALSE(port.AskYesNo("Delete?", true));
    EXPECT_TRUE(port.AskYesNo("Go on?", false));

    DialogScript::PushYesNo(true);
    DialogScript::PushFile(std::filesystem::path("/tmp/out.csv"));
    DialogScript::PushFile(std::nullopt);
    EXPECT_TRUE(port.AskYesNo("Delete \"jdoe\"?", true));
    EXPECT_EQ(port.ChooseSaveFile("Export", "report.csv", "CSV (*.csv)"),
              std::filesystem::path("/tmp/out.csv"));
    EXPECT_EQ(port.ChooseOpenFile("Run report", "", "Reports (*.rpt)"), std::nullopt);
    EXPECT_EQ(port.ChooseOpenFile("Run report", "", "Reports (*.rpt)"), std::nullopt);
    EXPECT_EQ(DialogScript::PendingAnswers(), 0u);

    const auto& shown = DialogScript::ShownBoxes();
    ASSERT_EQ(shown.size(), 9u);
    EXPECT_EQ(shown[0].kind, Kind::Error);
    EXPECT_EQ(shown[0].text, "Save Attribute returned error 0xFFFFFD5A");
    EXPECT_EQ(DialogScript::Texts(Kind::Question),
              (std::vector<std::string>{"Delete?", "Go on?", "Delete \"jdoe\"?"}));
    EXPECT_EQ(DialogScript::Texts(Kind::SaveFile), std::vector<std::string>{"Export"});

    // An answer of the wrong kind is a mistake of the test, not a silent default.
    DialogScript::PushYesNo(true);
    EXPECT_THROW(port.ChooseSaveFile("Export", "", ""), std::logic_error);
    DialogScript::End();
}

TEST(QtMessagePortTest, RealQuestionBoxOffersTheRequestedDefault) {
    QCoreApplication::setApplicationName("RAZ Arorad");
    QtMessagePort port;
    for (const bool defaultNo : {true, false}) {
        QString title;
        QString text;
        bool defaultIsNo = false;
        // Answers the modal box as a person pressing Enter would.
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
            box->defaultButton()->click();
        });
        EXPECT_EQ(port.AskYesNo("Delete \"Müller\"?", defaultNo), !defaultNo);
        EXPECT_EQ(defaultIsNo, defaultNo);
        EXPECT_EQ(title, "RAZ Arorad");
        EXPECT_EQ(text, QString::fromUtf8("Delete \"Müller\"?"));
    }
}

// A name typed without an extension gets the suggested one, so an export
// chosen as "report" is written as "report.html" and not refused.
TEST(QtMessagePortTest, ASaveDialogGivesATypedNameTheSuggestedExtension) {
    testing::TempDir dir{"vellrun-save"};
    QtMessagePort port;
    QString shownFilter;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shownFilter = dialog->selectedNameFilter();
        dialog->selectFile(QString::fromStdString((dir / "report").string()));
        static_cast<QDialog*>(dialog)->accept();
    });
    const auto chosen =
        port.ChooseSaveFile("Export Results", dir / "Users.html",
                            "Text Files (*.txt);;HTML Files (*.html);;All Files (*)");
    EXPECT_EQ(chosen, dir / "report.html");
    EXPECT_EQ(shownFilter, "HTML Files (*.html)");
}

TEST(QtMessagePortTest, EveryBoxShowsItsTextAsPlainText) {
    QtMessagePort port;
    // A text from outside (a server's notice) must not become markup or a link.
    const QString marked = QStringLiteral("<b>x</b> <a href=\"http://127.0.0.1:9/\">y</a>");
    std::vector<Qt::TextFormat> formats;
    std::vector<QString> texts;
    const auto answer = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        formats.push_back(box->textFormat());
        texts.push_back(box->text());
        box->defaultButton() ? box->defaultButton()->click() : box->accept();
    };
    const std::string text = marked.toStdString();
    QTimer::singleShot(0, answer);
    port.InfoBox(text);
    QTimer::singleShot(0, answer);
    port.ErrorBox(text);
    QTimer::singleShot(0, answer);
    port.PlainBox(text);
    QTimer::singleShot(0, answer);
    port.AskYesNo(text, true);
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* label = dialog->findChild<QLabel*>();
        ASSERT_NE(label, nullptr);
        formats.push_back(label->textFormat());
        texts.push_back(label->text());
        dialog->reject();
    });
    EXPECT_EQ(port.AskSecret(text), std::nullopt);
    ASSERT_EQ(formats.size(), 5u);
    for (size_t i = 0; i < formats.size(); ++i) {
        EXPECT_EQ(formats[i], Qt::PlainText) << i;
        EXPECT_EQ(texts[i], marked) << i;
    }
}

TEST(QtRunFeedbackTest, BusyCursorNestsAndStatusGoesToAttachedPanels) {
    QtRunFeedback feedback;
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    feedback.PushBusyCursor();
    feedback.PushBusyCursor();
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    feedback.PopBusyCursor();
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    feedback.PopBusyCursor();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A pop without its push leaves a cursor set by someone else alone.
    QApplication::setOverrideCursor(Qt::CrossCursor);
    feedback.PopBusyCursor();
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QApplication::restoreOverrideCursor();

    // Texts before the panels exist are dropped; afterwards each goes to its panel.
    feedback.SetStatus(0, "dropped");
    auto panels = std::make_unique<std::array<QLabel, 3>>();
    feedback.AttachStatusPanels({&(*panels)[0], &(*panels)[1], &(*panels)[2]});
    feedback.SetStatus(0, "Read Attributes");
    feedback.SetStatus(2, ".Sales.Corp");
    feedback.SetStatus(3, "no such panel");
    feedback.SetStatus(-1, "no such panel");
    EXPECT_EQ((*panels)[0].text(), "Read Attributes");
    EXPECT_EQ((*panels)[1].text(), "");
    EXPECT_EQ((*panels)[2].text(), ".Sales.Corp");
    // A panel stays one line: a selected cell's line breaks show as marks.
    feedback.SetStatus(1, "first\r\nsecond\nthird");
    EXPECT_EQ((*panels)[1].text(), "first \u00B6 second \u00B6 third");
    // So do the other characters that break a line where text is laid out.
    feedback.SetStatus(1, "a\u2028b\u2029c\u0085d\ve\ff");
    EXPECT_EQ((*panels)[1].text(), "a \u00B6 b \u00B6 c \u00B6 d \u00B6 e \u00B6 f");

    // Panels that are gone are not written.
    panels.reset();
    feedback.SetStatus(1, "after the window closed");
}

// A box shown right after a transfer runs events before the finished
// dialog is deleted; the dialog must not come back over the box.
TEST(TransferProgressTest, AFinishedTransfersDialogStaysGone) {
    QWidget window;
    window.show();
    TransferProgress progress(&window);
    progress.PushBusyCursor();
    const QPointer<QProgressDialog> dialog = progress.Dialog();
    progress.PopBusyCursor();
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 800)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(dialog.isNull() || !dialog->isVisible());
}

// Saving a workbook cannot be stopped once it has begun. While that last
// step runs, Cancel is off, Escape and closing the dialog do nothing, and the
// dialog says why: a cancel taken then would be ignored and the workbook
// opened all the same.
TEST(TransferProgressTest, TheLastStepOfAnExportCannotBeCancelled) {
    QWidget window;
    window.show();
    TransferProgress progress(&window);
    exports::ExportProgress exportProgress(&progress, "Writing the workbook ...");
    const QPointer<QProgressDialog> dialog = progress.Dialog();
    ASSERT_NE(dialog, nullptr);
    dialog->show();
    auto* cancel = dialog->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    std::atomic<bool> tried{false};
    bool enabledMeanwhile = true;
    QString labelMeanwhile;
    QTimer::singleShot(0, dialog, [&] {
        enabledMeanwhile = cancel->isEnabled();
        labelMeanwhile = dialog->labelText();
        cancel->click();
        QTest::keyClick(dialog, Qt::Key_Escape);
        dialog->close();
        tried = true;
    });
    const bool saved = exportProgress.Finishing("Saving the workbook ...", [&tried] {
        for (int i = 0; i < 1000 && !tried; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return tried.load();
    });
    ASSERT_TRUE(saved);
    EXPECT_FALSE(enabledMeanwhile);
    EXPECT_TRUE(labelMeanwhile.startsWith("Saving the workbook ..."))
        << labelMeanwhile.toStdString();
    EXPECT_TRUE(labelMeanwhile.contains("cannot be stopped")) << labelMeanwhile.toStdString();
    EXPECT_FALSE(progress.Cancel().IsSet());
    ASSERT_FALSE(dialog.isNull());
    EXPECT_TRUE(dialog->isVisible());
    // Once the step is over, Cancel is back.
    EXPECT_TRUE(cancel->isEnabled());
}

TEST(QtDesktopPortTest, TargetsBecomeAddressesOrFiles) {
    EXPECT_EQ(QtDesktopPort::DocumentUrl("https://example.org/a?b=1").toString(),
              "https://example.org/a?b=1");
    EXPECT_EQ(QtDesktopPort::DocumentUrl("mailto:admin@example.org").scheme(), "mailto");
    EXPECT_EQ(QtDesktopPort::DocumentUrl("www.example.org").toString(), "http://www.example.org");
    const QUrl file = QtDesktopPort::DocumentUrl("/tmp/My Report.csv");
    EXPECT_TRUE(file.isLocalFile());
    EXPECT_EQ(file.toLocalFile(), "/tmp/My Report.csv");
    const QUrl relative = QtDesktopPort::DocumentUrl("report.html");
    EXPECT_TRUE(relative.isLocalFile());
    EXPECT_TRUE(relative.toLocalFile().endsWith("/report.html"));
    EXPECT_TRUE(QDir::isAbsolutePath(relative.toLocalFile()));

    QtDesktopPort port;
    EXPECT_EQ(port.SetClipboardText("Name\tOrt\r\nMüller\tZürich"), "");
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QString::fromUtf8("Name\tOrt\r\nMüller\tZürich"));
}

}  // namespace
}  // namespace vellrun::ui
