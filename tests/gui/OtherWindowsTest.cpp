#include <QApplication>
#include <QCheckBox>
#include <QTest>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "ProjectVersion.h"
#include "QuarnelWindows.h"
#include "UpDownArrows.h"

namespace {

class OtherWindowsTest : public ::testing::Test {
 protected:
  ScratchFolder folder;
  QuarnelWindows windows{folder / "config.ini"};
};

TEST_F(OtherWindowsTest, WindowsAreCreatedInStartUpOrderUnderTheMainWindow) {
  const QObjectList children = windows.mainWindow->children();
  std::vector<QString> order;
  for (QObject* child : children)
    if (child == windows.aboutBox || child == windows.converter || child == windows.options || child == windows.redownload)
      order.push_back(child->objectName());
  EXPECT_EQ(order, (std::vector<QString>{"frmAbout", "frmConvert", "frmOptions", "Form4"}));
}

TEST_F(OtherWindowsTest, CaptionsAndControlTexts) {
  EXPECT_EQ(windows.converter->windowTitle(), "Convert \"Degrees,Minutes,Seconds\" to \"Degrees\"");
  EXPECT_TRUE(windows.converter->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(windows.converter->Button1->text(), "convert");
  EXPECT_TRUE(windows.converter->Button1->isDefault());
  EXPECT_TRUE(windows.converter->Edit4->isReadOnly());

  EXPECT_EQ(windows.options->windowTitle(), "Options");
  EXPECT_EQ(windows.options->Button1->text(), "OK");
  EXPECT_TRUE(windows.options->Button1->isDefault());
  EXPECT_EQ(windows.options->Button2->text(), "Cancel");
  EXPECT_EQ(windows.options->Button3->text(), "...");
  EXPECT_EQ(windows.options->CheckBoxUseProxy->text(), "Use proxy server");
  EXPECT_EQ(windows.options->UpDown1->Min(), 1);
  EXPECT_EQ(windows.options->UpDown1->Max(), 64);
  EXPECT_EQ(windows.options->EditProxyPassword->echoMode(), QLineEdit::Password);

  EXPECT_EQ(windows.aboutBox->windowTitle(), "About");
  EXPECT_EQ(windows.aboutBox->bLater->text(), "&OK");
  EXPECT_TRUE(windows.aboutBox->bLater->isDefault());

  EXPECT_EQ(windows.redownload->windowTitle(), "Form4");
  EXPECT_EQ(windows.redownload->Button1->text(), "Open ftl files");
  EXPECT_EQ(windows.redownload->Memo1->toPlainText(), "Memo1");
}

TEST_F(OtherWindowsTest, ConverterShowsTheSinglePrecisionResultAndKeepsItOnBadInput) {
  ConverterDialog& converter = *windows.converter;
  converter.ShowModeless();
  converter.Edit1->setText("12");
  converter.Edit2->setText("34");
  converter.Edit3->setText("56");
  converter.Button1->click();
  EXPECT_EQ(converter.Edit4->text(), "12.5822219848633");

  converter.Edit1->setText("12.5");
  const SeenMessageBox box = RunExpectingMessageBox([&] { converter.Button1->click(); });
  EXPECT_EQ(box.text, "Input Error.");
  EXPECT_EQ(converter.Edit4->text(), "12.5822219848633");

  converter.close();  // only hidden: the fields keep their content
  converter.ShowModeless();
  EXPECT_EQ(converter.Edit3->text(), "56");
}

TEST_F(OtherWindowsTest, AboutBoxTakesTheMainWindowsCurrentCaption) {
  WriteFile(folder / "config.ini", "[IniParas]\r\nVersion=9.9\r\n");
  windows.mainWindow->show();
  QApplication::processEvents();
  QTimer::singleShot(0, windows.aboutBox, [&] {
    EXPECT_EQ(windows.aboutBox->LabelTitle->text(), "Quarnel 9.9");
    EXPECT_TRUE(windows.aboutBox->LabelTitle->font().underline());
    EXPECT_EQ(windows.aboutBox->LabelVersion->text(), QString("Version ") + kProjectVersion);
    EXPECT_TRUE(windows.aboutBox->LinkHomepage->text().contains("quarnel.example.org"));
    windows.aboutBox->bLater->click();
  });
  windows.mainWindow->About1->trigger();
  EXPECT_FALSE(windows.aboutBox->isVisible());
}

TEST_F(OtherWindowsTest, OptionsOkWritesTheFieldsToTheConfiguration) {
  windows.mainWindow->show();
  QTimer::singleShot(0, windows.options, [&] {
    OptionsDialog& options = *windows.options;
    EXPECT_EQ(options.Edit2->text(), "1") << "the value in force";
    options.Edit12->setText("/data/tiles");
    options.CheckBoxUseProxy->setChecked(true);
    options.EditProxyServer->setText("proxy.local");
    options.EditProxyPort->setText("3128");
    options.EditTileServer->setText("127.0.0.1:8080/{z}/{x}/{-y}.png");
    options.EditUserAgent->setText("mapper/1.0");
    options.Button1->click();
  });
  windows.mainWindow->Options2->trigger();

  std::ifstream file(folder / "config.ini");
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_NE(text.str().find("DefaultPath=/data/tiles"), std::string::npos) << text.str();
  EXPECT_EQ(text.str().find("DefaultThreadCount"), std::string::npos) << "untouched, so not written";
  EXPECT_NE(text.str().find("UseProxy=1"), std::string::npos);
  EXPECT_NE(text.str().find("ProxyServer=proxy.local"), std::string::npos);
  EXPECT_NE(text.str().find("OpenStreetMap=127.0.0.1:8080/{z}/{x}/{-y}.png"), std::string::npos);
  EXPECT_NE(text.str().find("UserAgent=mapper/1.0"), std::string::npos);
}

TEST_F(OtherWindowsTest, OptionsRefusesABadPortAndCancelAfterEditsWritesNothing) {
  const std::string before = "[IniParas]\r\nDefaultPath=/kept\r\n";
  WriteFile(folder / "config.ini", before);
  windows.mainWindow->show();
  SeenMessageBox refusal;
  QTimer::singleShot(0, windows.options, [&] {
    OptionsDialog& options = *windows.options;
    options.Edit12->setText("/edited");
    options.CheckBoxUseProxy->setChecked(true);
    options.EditProxyPort->setText("70000");
    options.EditTileServer->setText("127.0.0.1:1");
    refusal = RunExpectingMessageBox([&] { options.Button1->click(); });
    EXPECT_TRUE(options.isVisible()) << "a refused field keeps the dialog open";
    options.Button2->click();
  });
  windows.mainWindow->Options2->trigger();
  EXPECT_TRUE(refusal.seen);
  EXPECT_TRUE(refusal.text.contains("70000")) << refusal.text.toStdString();
  EXPECT_EQ(ReadFile(folder / "config.ini"), before);

  // The next showing reads the file again, not the abandoned edits.
  QTimer::singleShot(0, windows.options, [&] {
    EXPECT_EQ(windows.options->Edit12->text(), "/kept");
    EXPECT_EQ(windows.options->EditProxyPort->text(), "");
    EXPECT_EQ(windows.options->EditTileServer->text(), "");
    windows.options->Button1->click();
  });
  windows.mainWindow->Options2->trigger();
  EXPECT_EQ(ReadFile(folder / "config.ini").find("OpenStreetMap"), std::string::npos) << "an untouched field is not written";
}

}  // namespace
