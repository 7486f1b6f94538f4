// The interface language: with English chosen, nothing Chinese is left in the window, its
// dialogs, its messages and its output texts; Chinese stays the default whatever the locale;
// the translation file covers every translatable text of the sources.
#include "app/shell/language.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>
#include <QXmlStreamReader>

#include "app/dialogs/about.h"
#include "app/dialogs/optionsdialog.h"
#include "app/settings/appoptions.h"
#include "app/shell/application.h"
#include "app/window/statusbar.h"
#include "apptesting.h"
#include "modbus/demodevice.h"
#include "port/ui/comselectform.h"

namespace talyx::testing {
namespace {

using app::TLanguage;

bool HasCjk(const QString& text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF)) return true;
  }
  return false;
}

// Every interface text of the widget and its descendants: titles, captions, items, headers,
// tool tips, actions; each prefixed with the object's name, so a failure says where it is.
QStringList InterfaceTexts(QWidget* root) {
  QStringList texts;
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* widget : widgets) {
    QStringList own{widget->windowTitle(), widget->toolTip()};
    if (auto* label = qobject_cast<QLabel*>(widget)) own << label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) own << button->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) own << group->title();
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) own << edit->placeholderText();
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      for (int i = 0; i < combo->count(); ++i) own << combo->itemText(i);
    }
    if (auto* tree = qobject_cast<QTreeWidget*>(widget)) {
      for (int c = 0; c < tree->columnCount(); ++c) own << tree->headerItem()->text(c);
      for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        for (int c = 0; c < tree->columnCount(); ++c) own << tree->topLevelItem(i)->text(c);
      }
    }
    for (const QAction* action : widget->actions()) own << action->text() << action->toolTip();
    for (const QString& text : own) {
      if (!text.isEmpty()) texts << widget->objectName() + QStringLiteral(": ") + text;
    }
  }
  return texts;
}

QStringList WithCjk(const QStringList& texts) {
  QStringList found;
  for (const QString& text : texts) {
    if (HasCjk(text)) found << text;
  }
  return found;
}

class LanguageTest : public MainFormTest {
 protected:
  void TearDown() override {
    app::SetInterfaceLanguage(TLanguage::lgChinese);
    QLocale::setDefault(QLocale::system());
  }
  // What the program does at start: the language from the settings file, then the window.
  std::unique_ptr<app::TMainForm> StartWith(const std::string& options) {
    WriteSettings(options);
    EXPECT_TRUE(app::SetInterfaceLanguage(
        app::TAppOptions::Read(app::TSettingsFile(SettingsPath())).Language));
    return CreateForm();
  }
};

TEST_F(LanguageTest, EnglishLeavesNoChineseInWindowDialogsMessagesOrOutput) {
  ScopedPortMap map{{{1, modbus::DemoDeviceName}}};
  auto form = StartWith("[options]\nLanguage=en\n");
  form->show();
  ASSERT_TRUE(form->ComPort1.Open());
  EXPECT_EQ(form->Btn_Send->text(), QStringLiteral("Send"));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !form->StatusBar->PanelText(app::TMainForm::VersionPanel).isEmpty(); }, 5000));

  // One read request to the demo device: counters and register lines.
  form->CB_hexSend->setChecked(true);
  form->CB_HexGet->setChecked(true);
  form->SendMemo->setPlainText(QStringLiteral("01 03 00 00 00 02"));
  form->Btn_Send->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->re_dec->blockCount() == 2; }, 5000));
  EXPECT_TRUE(form->re_dec->toPlainText().startsWith(QStringLiteral("Parameter 1=")));
  EXPECT_EQ(form->StatusBar->PanelText(app::TMainForm::SendPanel), QStringLiteral("Sent: 12"));

  // Messages: a search with no match, and a conversion error through the general report.
  form->FindDialog1Find();
  form->Edt_Interval->clear();
  form->CB_AutoSend->click();
  ASSERT_EQ(messages.Texts.size(), 2) << messages.Texts.join('\n').toStdString();

  form->PortMapAction->trigger();
  form->OptionsAction->trigger();
  ASSERT_NE(form->PortMapDialog1, nullptr);
  ASSERT_NE(form->OptionsDialog1, nullptr);
  app::TAboutBox about;
  TComSelectForm selection([](int number) { return number == 3; });

  QStringList texts = InterfaceTexts(form.get()) + InterfaceTexts(&about) +
                      InterfaceTexts(&selection) + messages.Texts;
  texts << form->re_dec->toPlainText();
  EXPECT_TRUE(texts.contains(QStringLiteral("FindButton: Find Next")));
  EXPECT_TRUE(texts.contains(QStringLiteral("CB_Language: Chinese")));
  EXPECT_EQ(WithCjk(texts), QStringList()) << "of " << texts.size() << " texts";
}

TEST_F(LanguageTest, ChineseUnlessTheSettingsFileAsksForEnglishOrTheLocaleIsNotChinese) {
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  const QLocale chinese(QLocale::Chinese, QLocale::China);
  const struct {
    std::string Options;
    QLocale Locale;
    QString Send;
  } cases[] = {
      {"", english, QStringLiteral("手动发送")},
      {"[options]\nLanguage=zh\n", english, QStringLiteral("手动发送")},
      {"[options]\nLanguage=fr\n", english, QStringLiteral("手动发送")},
      {"[options]\nLanguage=EN\n", chinese, QStringLiteral("Send")},
      {"[options]\nLanguage=system\n", english, QStringLiteral("Send")},
      {"[options]\nLanguage=system\n", chinese, QStringLiteral("手动发送")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Options + " " + c.Locale.name().toStdString());
    QLocale::setDefault(c.Locale);
    auto form = StartWith(c.Options);
    EXPECT_EQ(form->Btn_Send->text(), c.Send);
    EXPECT_EQ(HasCjk(app::ApplicationTitleText()), HasCjk(c.Send));
  }
}

TEST_F(LanguageTest, QtsOwnTextsFollowTheInterfaceLanguage) {
  const QString catalogue =
      QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qt_zh_CN.qm");
  if (!QFile::exists(catalogue)) {
    GTEST_SKIP() << "Qt's translations are not installed (Debian qt6-translations-l10n)";
  }
  for (const bool english : {false, true}) {
    SCOPED_TRACE(english ? "English" : "Chinese");
    auto form = StartWith(english ? "[options]\nLanguage=en\n" : "");
    const std::unique_ptr<QMenu> menu(form->Edt_Interval->createStandardContextMenu());
    const QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QStringList texts{box.button(QDialogButtonBox::Ok)->text(),
                      box.button(QDialogButtonBox::Cancel)->text()};
    for (const QAction* action : menu->actions()) {
      if (!action->isSeparator()) texts << action->text();
    }
    for (const QAbstractButton* button : form->SaveDialog1->findChildren<QAbstractButton*>()) {
      if (!button->text().isEmpty()) texts << button->text();
    }
    for (const QString& text : texts) EXPECT_NE(HasCjk(text), english) << text.toStdString();
  }
}

TEST(LanguageOption, OptionsDialogWritesTheLanguageThatTheNextStartReads) {
  EnsureApplication();
  TempFolder folder;
  app::TSettingsFile settings(folder.File("talyx.INI"));
  app::TOptionsDialog dialog(app::TAppOptions::Read(settings));
  EXPECT_EQ(dialog.CB_Language->currentIndex(), 0);
  dialog.CB_Language->setCurrentIndex(2);
  dialog.Options().Write(settings);
  EXPECT_EQ(settings.ReadString("options", "Language", ""), "system");
  EXPECT_EQ(app::TAppOptions::Read(settings).Language, TLanguage::lgSystem);
}

// The translation file's messages: context and source to translation, "" when unfinished.
QMap<QPair<QString, QString>, QString> ReadTranslations(const QString& path) {
  QMap<QPair<QString, QString>, QString> messages;
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  QXmlStreamReader xml(&file);
  QString context, source;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (xml.name() == u"name") {
      context = xml.readElementText();
    } else if (xml.name() == u"source") {
      source = xml.readElementText();
    } else if (xml.name() == u"translation") {
      const bool finished = xml.attributes().value(QStringLiteral("type")).isEmpty();
      const QString text = xml.readElementText();
      messages.insert({context, source}, finished ? text : QString());
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  return messages;
}

QStringList Placeholders(const QString& text) {
  QStringList found;
  for (const auto& match : QRegularExpression(QStringLiteral("%\\d")).globalMatch(text)) {
    found << match.captured();
  }
  found.sort();
  return found;
}

TEST(TranslationFile, TranslatesEveryTextOfTheSourcesWithTheSamePlaceholders) {
  const QDir source(QStringLiteral(TALYX_SOURCE_DIR));
  QStringList files;
  for (const QString& folder : {QStringLiteral("app"), QStringLiteral("port/ui")}) {
    QDirIterator it(source.filePath(folder), {QStringLiteral("*.h"), QStringLiteral("*.cpp")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next();
  }
  TempFolder folder;
  const QString scanned = QString::fromStdString(folder.File("scanned.ts"));
  QProcess lupdate;
  lupdate.start(QStringLiteral(TALYX_LUPDATE),
                QStringList{QStringLiteral("-silent"), QStringLiteral("-I"), source.path(),
                            QStringLiteral("-locations"), QStringLiteral("none")} +
                    files + QStringList{QStringLiteral("-ts"), scanned});
  ASSERT_TRUE(lupdate.waitForFinished(60000)) << lupdate.errorString().toStdString();
  ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAllStandardError().toStdString();

  const auto inSources = ReadTranslations(scanned);
  const auto translated = ReadTranslations(source.filePath(QStringLiteral("i18n/talyx_en.ts")));
  ASSERT_GT(inSources.size(), 50);
  for (auto it = inSources.keyBegin(); it != inSources.keyEnd(); ++it) {
    const QString where = it->first + QStringLiteral(": ") + it->second;
    const QString english = translated.value(*it);
    EXPECT_FALSE(english.isEmpty()) << "not translated: " << where.toStdString();
    EXPECT_EQ(Placeholders(english), Placeholders(it->second)) << where.toStdString();
  }
}

}  // namespace
}  // namespace talyx::testing
