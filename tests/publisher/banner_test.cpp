#include <QBuffer>
#include <QDesktopServices>
#include <QImage>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "publisher/form2.h"
#include "support/printers.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"
#include "ui/form1.h"
#include "ui/ui_helpers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::RawServer;

QByteArray ok(const QByteArray& body, const QByteArray& headers = {}) {
    return test::httpResponse("200 OK", body, headers);
}

QByteArray bmp(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(10, 200, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

struct Banner {
    explicit Banner(std::map<QByteArray, QByteArray> answers)
        : server([answers](const RawServer::Connection& c) {
              const auto it = answers.find(test::requestTarget(c.request));
              if (it == answers.end()) {
                  c.send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
              } else if (it->second == "endless") {
                  c.send("HTTP/1.1 200 OK\r\n\r\n");
                  const QByteArray block(64 * 1024, 'B');
                  while (c.send(block)) {
                  }
              } else {
                  c.send(it->second);
              }
          }) {
        const QString site = u"http://127.0.0.1:%1"_s.arg(server.port());
        sites.emplace(&TForm1::setPublisherSitesForTests, PublisherSites{site, site});
        form = std::make_unique<TForm1>(dir.path(QString()));
        ui = std::make_unique<test::Controls>(form.get());
        form->showAtStart();
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->bannerThreadEnded(); }, 20000));
    }
    QStringList paths() const {
        QStringList out;
        for (const QByteArray& request : server.requests()) {
            out += QString::fromLatin1(test::requestTarget(request));
        }
        return out;
    }

    RawServer server;
    test::QuitCounter quit;
    std::optional<test::ScopedHook<PublisherSites>> sites;
    test::TempDir dir;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<test::Controls> ui;
};

TEST(Banner, PictureTextAndCounter) {
    Banner b({{"/quorvel/banner.bmp", ok(bmp(600, 80))},
              {"/quorvel/banner.txt", ok("http://a.example/\r\n<b>B</b>\nC")},
              {"/counter.php", ok("")},
              {"/counter.txt", ok("123\r\n")}});
    const QPixmap picture = b.ui->Image2->pixmap();
    EXPECT_EQ(picture.size(), QSize(476, 61)) << "unscaled, cut at the banner area";
    EXPECT_EQ(picture.toImage().pixelColor(0, 0), QColor(10, 200, 30));
    EXPECT_EQ(b.form->BannerLink, u"http://a.example/");
    EXPECT_EQ(b.ui->Image2->property("hint").toString(), u"<b>B</b>");
    EXPECT_FALSE(b.ui->Image2->toolTip().contains(u"<b>")) << "shown as text, not markup";
    EXPECT_EQ(b.ui->StatusPanel1->text(), u"запусков программы с 21.10.2010 - 123\r\n раз(а)");
    EXPECT_EQ(b.ui->StatusPanel1->textFormat(), Qt::PlainText);
    EXPECT_EQ(b.paths(), (QStringList{u"/quorvel/banner.bmp"_s, u"/quorvel/banner.txt"_s,
                                      u"/counter.php"_s, u"/counter.txt"_s}));
    // The exact request, with the banner's own user agent.
    EXPECT_EQ(b.server.requests().at(0),
              "GET /quorvel/banner.bmp HTTP/1.1\r\nHost: 127.0.0.1:" +
                  QByteArray::number(b.server.port()) +
                  "\r\nAccept: text/html, */*\r\nAccept-Encoding: identity\r\n"
                  "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n");
    // The check button is not touched by the banner thread's end.
    EXPECT_TRUE(b.ui->ToolButton3->isEnabled());
}

TEST(Banner, TextCases) {
    struct Case {
        QByteArray text;
        QByteArray contentType;
        const char16_t* link;
        const char16_t* hint;
    };
    const Case cases[] = {
        {"A\r\nB\r\nC", {}, u"A", u"B"},
        {"\r\nB", {}, u"", u"B"},
        {"only one line", {}, u"", u""},
        {"\xE9t\xE9\nh", {}, u"été", u"h"},  // no charset: one character per byte
        {"\xD1\x8F\n\xD0\xB4", "Content-Type: text/plain; charset=utf-8\r\n", u"я", u"д"},
        {"\xFF\n\xE4", "Content-Type: text/plain; charset=\"windows-1251\"\r\n", u"я", u"д"},
        {"\xE9\nx", "Content-Type: text/plain; charset=no-such-set\r\n", u"é", u"x"},
    };
    for (const Case& c : cases) {
        Banner b({{"/quorvel/banner.txt", ok(c.text, c.contentType)}});
        EXPECT_EQ(b.form->BannerLink, QStringView(c.link)) << c.text.toStdString();
        EXPECT_EQ(b.ui->Image2->property("hint").toString(), QStringView(c.hint));
        EXPECT_TRUE(b.ui->StatusPanel1->text().isEmpty());
        EXPECT_FALSE(b.paths().contains(u"/counter.txt"_s)) << "no counter.txt without counter.php";
    }
}

TEST(Banner, EachGroupFailsOnItsOwn) {
    // A redirecting picture, a picture that is no BMP, an endless picture:
    // the picture stays empty while the text and the counter still load.
    for (const QByteArray& picture :
         {QByteArray("HTTP/1.1 302 Found\r\nLocation: /x.bmp\r\nContent-Length: 0\r\n\r\n"),
          ok("GIF89a not a bitmap"), QByteArray("endless")}) {
        Banner b({{"/quorvel/banner.bmp", picture},
                  {"/x.bmp", ok(bmp(10, 10))},
                  {"/quorvel/banner.txt", ok("L\nH")},
                  {"/counter.php", ok("")},
                  {"/counter.txt", ok("7")}});
        EXPECT_TRUE(b.ui->Image2->pixmap().isNull());
        EXPECT_FALSE(b.paths().contains(u"/x.bmp"_s)) << "redirects are not followed";
        EXPECT_EQ(b.form->BannerLink, u"L");
        EXPECT_EQ(b.ui->StatusPanel1->text(), u"запусков программы с 21.10.2010 - 7 раз(а)");
    }
}

TEST(Banner, CookiesComeBack) {
    Banner b({{"/quorvel/banner.bmp", ok("x", "Set-Cookie: visitor=42; Path=/\r\n")},
              {"/quorvel/banner.txt", ok("a\nb")}});
    ASSERT_GE(b.server.requests().size(), 2);
    EXPECT_TRUE(b.server.requests().at(1).contains("\r\nCookie: visitor=42\r\n"));
}

class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public Q_SLOTS:
    void open(const QUrl& url) { opened += url; }
};

TEST(Banner, PicturesAndAboutBoxOpenTheirAddresses) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(u"http"_s, &catcher, "open");
    {
        Banner empty({});
        QTest::mouseClick(empty.ui->Image2, Qt::LeftButton);
        QTest::mouseClick(empty.ui->Image1, Qt::LeftButton);
    }
    {
        Banner linked({{"/quorvel/banner.txt", ok("www.banner.example/page\nhint")}});
        QTest::mouseClick(linked.ui->Image2, Qt::LeftButton);
    }
    ASSERT_EQ(catcher.opened.size(), 3);
    EXPECT_EQ(catcher.opened.at(2), QUrl(u"http://www.banner.example/page"_s));

    catcher.opened.clear();
    TForm2 about(nullptr, PublisherSites{u"http://idea.test"_s, u"http://vendor.test"_s});
    EXPECT_EQ(about.size(), QSize(418, 286));
    EXPECT_EQ(about.windowTitle(), u"О программе");
    EXPECT_EQ(about.Label3->text(), u"ver 1.00");
    EXPECT_EQ(about.Label1->text(), u"автор идеи (+ помощь в разработке) - http://idea.test");
    EXPECT_EQ(about.Label2->text(), u"разработчик - http://vendor.test");
    EXPECT_EQ(about.Label1->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    EXPECT_EQ(about.Label4->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(about.Image1->pixmap().isNull());
    about.show();
    for (ClickableLabel* label : {about.Label1, about.Label2, about.Label4, about.Label5}) {
        QTest::mouseClick(label, Qt::LeftButton);
    }
    EXPECT_TRUE(about.isVisible()) << "a link click leaves the box open";
    EXPECT_EQ(
        catcher.opened,
        (QList<QUrl>{QUrl(u"http://idea.test"_s), QUrl(u"http://vendor.test"_s),
                     QUrl(u"http://vendor.test/?p=1575"_s), QUrl(u"http://idea.test/quorvel/"_s)}));
    QTest::mouseClick(about.Button1, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    QDesktopServices::unsetUrlHandler(u"http"_s);
}

}  // namespace
}  // namespace quorvel

#include "banner_test.moc"
