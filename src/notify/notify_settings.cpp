#include "notify/notify_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QTemporaryFile>
#include <QUrl>

#include "records/file_io.h"

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvel {

namespace {

struct Key {
    const char* section;
    const char* name;
};

// Every key the file may hold; anything else is a typo that would quietly
// turn a channel off or send without a password.
constexpr Key kKeys[] = {
    {"telegram", "token"}, {"telegram", "chat"}, {"mail", "url"},
    {"mail", "user"},      {"mail", "password"}, {"mail", "from"},
    {"mail", "to"},        {"webhook", "url"},   {"webhook", "secret"},
};

QString keyName(const Key& key) {
    return u'[' % QLatin1StringView(key.section) % u"] " % QLatin1StringView(key.name);
}

bool hasControlCharacter(QStringView text) {
    for (const QChar ch : text) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7f) {
            return true;
        }
    }
    return false;
}

// A mail address as it goes into MAIL FROM, RCPT TO and the headers: one
// address, nothing that could end a command or a header.
bool isMailAddress(QStringView text) {
    const qsizetype at = text.lastIndexOf(u'@');
    if (at <= 0 || at == text.size() - 1) {
        return false;
    }
    for (const QChar ch : text) {
        if (ch.unicode() <= 0x20 || ch.unicode() == 0x7f || ch == u'<' || ch == u'>' ||
            ch == u',' || ch == u';' || ch == u'"') {
            return false;
        }
    }
    return true;
}

// A bot token goes into the request's path, so nothing in it may step out
// of that path.
bool isBotToken(QStringView text) {
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        const bool ok = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') ||
                        (c >= u'A' && c <= u'Z') || c == u':' || c == u'_' || c == u'-';
        if (!ok) {
            return false;
        }
    }
    return !text.isEmpty();
}

bool hasSchemeAndHost(const QString& text, std::initializer_list<const char*> schemes) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return false;
    }
    for (const char* scheme : schemes) {
        if (url.scheme() == QLatin1StringView(scheme)) {
            return true;
        }
    }
    return false;
}

}  // namespace

NotifyProblem checkNotifySettings(const NotifySettings& s) {
    using Kind = NotifyProblem::Kind;
    if (s.hasTelegram()) {
        if (s.telegram.token.isEmpty() || s.telegram.chat.isEmpty()) {
            return {Kind::TelegramIncomplete, {}};
        }
        if (!isBotToken(s.telegram.token)) {
            return {Kind::TelegramToken, {}};
        }
        if (hasControlCharacter(s.telegram.chat)) {
            return {Kind::TelegramChat, {}};
        }
    }
    if (s.hasMail() || !s.mail.from.isEmpty() || !s.mail.to.isEmpty()) {
        if (!hasSchemeAndHost(s.mail.url, {"smtps", "smtp"})) {
            return {Kind::MailUrl, {}};
        }
        if (!isMailAddress(s.mail.from)) {
            return {Kind::MailFrom, {}};
        }
        if (s.mail.to.isEmpty()) {
            return {Kind::MailNoRecipient, {}};
        }
        for (const QString& to : s.mail.to) {
            if (!isMailAddress(to)) {
                return {Kind::MailRecipient, to};
            }
        }
        if (s.mail.user.isEmpty() && !s.mail.password.isEmpty()) {
            return {Kind::MailPasswordWithoutUser, {}};
        }
    }
    if (s.hasWebhook() || !s.webhook.secret.isEmpty()) {
        if (!hasSchemeAndHost(s.webhook.url, {"https", "http"})) {
            return {Kind::WebhookUrl, {}};
        }
    }
    return {};
}

QString notifyProblemText(const NotifyProblem& problem) {
    using Kind = NotifyProblem::Kind;
    switch (problem.kind) {
        case Kind::None:
            break;
        case Kind::TelegramIncomplete:
            return QStringLiteral("[telegram] needs both token and chat");
        case Kind::TelegramToken:
            return QStringLiteral(
                "[telegram] token is not a bot token (digits, ':', letters, '_' and '-')");
        case Kind::TelegramChat:
            return QStringLiteral("[telegram] chat holds a control character");
        case Kind::MailUrl:
            return QStringLiteral(
                "[mail] url must be smtps://HOST[:PORT] or smtp://HOST[:PORT] (STARTTLS)");
        case Kind::MailFrom:
            return QStringLiteral("[mail] from must be one mail address");
        case Kind::MailNoRecipient:
            return QStringLiteral("[mail] to names no address");
        case Kind::MailRecipient:
            return u"[mail] to: '" % problem.detail % u"' is not a mail address";
        case Kind::MailPasswordWithoutUser:
            return QStringLiteral("[mail] has a password but no user");
        case Kind::WebhookUrl:
            return QStringLiteral("[webhook] url must be an https:// or http:// address");
    }
    return QString();
}

QString notifySettingsProblem(const NotifySettings& s) {
    return notifyProblemText(checkNotifySettings(s));
}

namespace {

// A value as QSettings' INI reading gives it back: in double quotes when a
// ',' would make a list, a ';' a comment, or a backslash or '"' an escape,
// or when it has spaces at its ends; a leading '@' doubled, since QSettings
// reads "@Invalid()" and its kin as typed values.
QString iniValue(const QString& value) {
    QString out = value.startsWith(u'@') ? u'@' + value : value;
    const bool quote = out.contains(u',') || out.contains(u';') || out.contains(u'"') ||
                       out.contains(u'\\') || out.contains(u'=') ||
                       (!out.isEmpty() && (out.front().isSpace() || out.back().isSpace()));
    if (!quote) {
        return out;
    }
    out.replace(u'\\', QStringLiteral("\\\\"));
    out.replace(u'"', QStringLiteral("\\\""));
    return u'"' % out % u'"';
}

}  // namespace

QStringList NotifySettings::secrets() const {
    // Some hooks carry their key in the address itself (a token as the last
    // part of the path, or in the query): those parts count as secrets too.
    const QUrl hook(webhook.url);
    const QString hookPath = hook.path().section(u'/', -1);
    QStringList list;
    for (const QString& s : {telegram.token, mail.password, webhook.secret,
                             hookPath.size() >= 16 ? hookPath : QString(), hook.query()}) {
        if (!s.isEmpty()) {
            list += s;
        }
    }
    return list;
}

QString userConfigFolder() {
    const QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    return base.isEmpty() ? QDir::homePath() + u"/.config" : base;
}

QString defaultNotifyConfigPath() {
    return userConfigFolder() + u"/quorvel/notify.ini";
}

QString fileExposure(const QString& path) {
#ifdef Q_OS_WIN
    // Windows guards files with access lists, not modes; a profile's own
    // folder is private by default.
    Q_UNUSED(path);
    return QString();
#else
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return QString();
    }
    const mode_t mode = st.st_mode & 07777;
    if ((mode & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH)) != 0) {
        return u'\'' % path % u"' may be read or written by others (mode " %
               QString::number(mode, 8).rightJustified(4, u'0') %
               u"); it holds secrets: run chmod 600 on it";
    }
    if (st.st_uid != ::geteuid() && ::geteuid() != 0) {
        return u'\'' % path %
               u"' belongs to another user; it holds secrets: use a file of your own";
    }
    return QString();
#endif
}

namespace {

// More than a hand-written notify.ini could ever hold.
constexpr qint64 kMaxIniBytes = 64 * 1024;

// The bytes of notify.ini: only a regular file is opened, without waiting (a
// FIFO put in its place would block for ever), and no more than
// kMaxIniBytes of it is read.
Outcome<QByteArray> readIniBytes(const QString& path) {
    QFile file;
    const FileOpening opening = openRegularFile(path, &file);
    if (opening.outcome == FileOpening::NotRegular) {
        return Outcome<QByteArray>::failure(u"'" % path % u"' is not a regular file");
    }
    if (opening.outcome != FileOpening::Opened) {
        return Outcome<QByteArray>::failure(u"cannot read '" % path % u"': " % opening.problem);
    }
    Outcome<QByteArray> read;
    switch (readAllLimited(file, kMaxIniBytes, &read.value)) {
        case ReadEnd::Done:
            break;
        case ReadEnd::TooLarge:
            read.error = u"'" % path % u"' is over 64 KiB: no notify.ini is that large";
            break;
        case ReadEnd::Failed:
        case ReadEnd::Refused:
            read.error = u"cannot read '" % path % u"': " % file.errorString();
            break;
    }
    return read;
}

// Parses the file with QSettings; checks only what reading can tell. The
// bytes read once are what QSettings parses, through a copy only the owner
// may read: the file itself is never opened a second time.
Outcome<NotifySettings> parseNotifySettings(const QString& path) {
    using Read = Outcome<NotifySettings>;
    const Outcome<QByteArray> bytes = readIniBytes(path);
    if (!bytes) {
        return Read::failure(bytes.error);
    }
    QTemporaryFile copy(QDir::tempPath() + u"/quorvel-notify-XXXXXX.ini");
    if (!copy.open() || !copy.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        copy.write(bytes.value) != bytes.value.size() || !copy.flush()) {
        return Read::failure(u"cannot read '" % path % u"': no private copy for parsing (" %
                             copy.errorString() % u')');
    }
    copy.close();

    QSettings ini(copy.fileName(), QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        return Read::failure(u"'" % path % u"' is not an INI file QSettings can read");
    }
    QSet<QString> known;
    for (const Key& key : kKeys) {
        known.insert(QLatin1StringView(key.section) % u'/' % QLatin1StringView(key.name));
    }
    for (const QString& key : ini.allKeys()) {
        if (!known.contains(key)) {
            return Read::failure(u"'" % path % u"': unknown key '" % key % u"'");
        }
    }
    Read result;
    NotifySettings& s = result.value;
    const auto one = [&](const Key& key, QString* out) {
        const QStringList parts =
            ini.value(QLatin1StringView(key.section) % u'/' % QLatin1StringView(key.name))
                .toStringList();
        if (parts.size() > 1) {
            result = Read::failure(keyName(key) %
                                   u" holds an unquoted ',': write the value in double quotes");
            return false;
        }
        *out = parts.value(0);
        return true;
    };
    if (!one(kKeys[0], &s.telegram.token) || !one(kKeys[1], &s.telegram.chat) ||
        !one(kKeys[2], &s.mail.url) || !one(kKeys[3], &s.mail.user) ||
        !one(kKeys[4], &s.mail.password) || !one(kKeys[5], &s.mail.from) ||
        !one(kKeys[7], &s.webhook.url) || !one(kKeys[8], &s.webhook.secret)) {
        return result;
    }
    for (const QString& to : ini.value(QStringLiteral("mail/to")).toStringList()) {
        if (!to.trimmed().isEmpty()) {
            s.mail.to += to.trimmed();
        }
    }
    return result;
}

}  // namespace

Outcome<NotifySettings> readNotifySettings(const QString& path) {
    using Read = Outcome<NotifySettings>;
    const QFileInfo info(path);
    if (!info.exists()) {
        return Read::failure(u"no notify settings: '" % path % u"' does not exist");
    }
    if (!info.isFile()) {
        return Read::failure(u"'" % path % u"' is not a regular file");
    }
    // Refused before a byte of it is read.
    if (QString exposed = fileExposure(path); !exposed.isEmpty()) {
        return Read::failure(std::move(exposed));
    }
    Read result = parseNotifySettings(path);
    if (!result) {
        return result;
    }
    if (!result.value.namesAnyChannel()) {
        return Read::failure(u"'" % path % u"' names no channel ([telegram], [mail] or [webhook])");
    }
    if (QString problem = notifySettingsProblem(result.value); !problem.isEmpty()) {
        return Read::failure(std::move(problem));
    }
    return result;
}

Outcome<NotifySettings> readNotifySettingsForEditing(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return {};
    }
    if (!info.isFile()) {
        return Outcome<NotifySettings>::failure(u"'" % path % u"' is not a regular file");
    }
    return parseNotifySettings(path);
}

Outcome<> writeNotifySettings(const QString& path, const NotifySettings& settings) {
    const auto fail = [](const QString& why) { return Outcome<>::failure(why); };
    QString text;
    const auto section = [&text](const char* name,
                                 std::initializer_list<std::pair<const char*, QString>> values) {
        QString body;
        for (const auto& [key, value] : values) {
            if (!value.isEmpty()) {
                body += QLatin1StringView(key) % u'=' % value % u'\n';
            }
        }
        if (!body.isEmpty()) {
            text += (text.isEmpty() ? QString() : QStringLiteral("\n")) % u'[' %
                    QLatin1StringView(name) % u"]\n" % body;
        }
    };
    for (const QString& value : {settings.telegram.token, settings.telegram.chat, settings.mail.url,
                                 settings.mail.user, settings.mail.password, settings.mail.from,
                                 settings.webhook.url, settings.webhook.secret}) {
        if (hasControlCharacter(value)) {
            return fail(QStringLiteral("a value holds a line break or another control character"));
        }
    }
    QStringList to;
    for (const QString& address : settings.mail.to) {
        if (hasControlCharacter(address)) {
            return fail(QStringLiteral("a value holds a line break or another control character"));
        }
        to += iniValue(address);
    }
    section("telegram", {{"token", iniValue(settings.telegram.token)},
                         {"chat", iniValue(settings.telegram.chat)}});
    section("mail", {{"url", iniValue(settings.mail.url)},
                     {"user", iniValue(settings.mail.user)},
                     {"password", iniValue(settings.mail.password)},
                     {"from", iniValue(settings.mail.from)},
                     {"to", to.join(u", ")}});
    section("webhook", {{"url", iniValue(settings.webhook.url)},
                        {"secret", iniValue(settings.webhook.secret)}});
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        return fail(u"cannot create the folder '" % info.absolutePath() % u'\'');
    }
    if (const Outcome<> written = writeFileAtomically(path, text.toUtf8(), FileAccess::OwnerOnly);
        !written) {
        return fail(u"cannot write '" % path % u"': " % written.error);
    }
    return {};
}

}  // namespace quorvel
