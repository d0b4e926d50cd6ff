#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "publisher/publisher_sites.h"
#include "publisher/web_links.h"

namespace quorvel {

// The About box: logo, version and four links.
class TForm2 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm2(QWidget* owner, PublisherSites sites = {});

    QLabel* Image1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label3 = nullptr;
    ClickableLabel* Label1 = nullptr;
    ClickableLabel* Label2 = nullptr;
    ClickableLabel* Label4 = nullptr;
    ClickableLabel* Label5 = nullptr;
    QPushButton* Button1 = nullptr;

    void Label1Click();
    void Label2Click();
    void Label4Click();
    void Label5Click();
    void Button1Click();

  private:
    PublisherSites sites_;
};

}  // namespace quorvel
