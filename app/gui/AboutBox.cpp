#include "AboutBox.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>

#include "GuiPlatform.h"
#include "ProjectVersion.h"

namespace {

// Green, underlined, with the hand cursor; the click runs the logic rather
// than letting the label open the address itself.
QString LinkText(const std::string& text) {
  return "<a href=\"#\" style=\"color:#008000; text-decoration:underline\">" +
         QString::fromStdString(text).toHtmlEscaped() + "</a>";
}

}  // namespace

AboutBox::AboutBox(GuiPlatform& platform, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), platform_(platform), logic_(platform) {
  setObjectName("frmAbout");
  setWindowTitle(TfrmAbout::Caption);
  setModal(true);

  LabelTitle = new QLabel(this);
  QFont titleFont = LabelTitle->font();
  titleFont.setUnderline(true);
  titleFont.setBold(true);
  LabelTitle->setFont(titleFont);
  LabelVersion = new QLabel(QString::fromStdString(logic_.VersionLine), this);
  LabelDeveloper = new QLabel(TfrmAbout::DeveloperLine, this);
  // Broken by hand: a wrapping label would split the SPDX name at its hyphens.
  LabelLicense = new QLabel(
      QString("Free software under the GNU General Public License,\nversion 3 or later (%1), without any warranty.")
          .arg(kProjectLicense),
      this);
  LabelHomepage = new QLabel("Homepage:", this);
  LinkHomepage = new QLabel(this);
  LabelEmail = new QLabel("Email:", this);
  LinkEmail = new QLabel(this);
  for (QLabel* link : {LinkHomepage, LinkEmail}) {
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    link->setOpenExternalLinks(false);
    link->setCursor(Qt::PointingHandCursor);
  }
  bLater = new QPushButton(QString::fromUtf8(TfrmAbout::bLaterCaption), this);
  bLater->setDefault(true);

  const std::pair<QObject*, const char*> names[] = {
      {LabelTitle, "LabelTitle"},     {LabelVersion, "LabelVersion"},   {LabelDeveloper, "LabelDeveloper"},
      {LabelLicense, "LabelLicense"},   {LabelHomepage, "LabelHomepage"}, {LinkHomepage, "LinkHomepage"}, {LabelEmail, "LabelEmail"},
      {LinkEmail, "LinkEmail"},       {bLater, "bLater"},
  };
  for (const auto& [object, name] : names) object->setObjectName(name);

  auto* grid = new QGridLayout(this);
  grid->addWidget(LabelTitle, 0, 0, 1, 2);
  grid->addWidget(LabelVersion, 1, 0, 1, 2);
  grid->addWidget(LabelDeveloper, 2, 0, 1, 2);
  grid->addWidget(LabelLicense, 3, 0, 1, 2);
  grid->addWidget(LabelHomepage, 4, 0);
  grid->addWidget(LinkHomepage, 4, 1);
  grid->addWidget(LabelEmail, 5, 0);
  grid->addWidget(LinkEmail, 5, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(bLater);
  grid->addLayout(buttons, 6, 0, 1, 2);
  grid->setColumnStretch(1, 1);

  connect(LinkHomepage, &QLabel::linkActivated, this, &AboutBox::HomepageLinkClick);
  connect(LinkEmail, &QLabel::linkActivated, this, &AboutBox::MailLinkClick);
  connect(bLater, &QPushButton::clicked, this, &AboutBox::accept);
}

void AboutBox::ShowModal(const std::string& mainWindowCaption) {
  FormShow(mainWindowCaption);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  exec();
}

void AboutBox::FormShow(const std::string& mainWindowCaption) {
  platform_.RunGuarded([&] { logic_.FormShow(mainWindowCaption); });
  LabelTitle->setText(QString::fromStdString(logic_.TitleLine));
  LinkHomepage->setText(LinkText(logic_.HomepageLink));
  LinkEmail->setText(LinkText(logic_.MailLink));
  setFixedSize(sizeHint().expandedTo(QSize(340, 0)));
}

void AboutBox::HomepageLinkClick() { platform_.RunGuarded([this] { logic_.HomepageLinkClick(); }); }

void AboutBox::MailLinkClick() { platform_.RunGuarded([this] { logic_.MailLinkClick(); }); }
