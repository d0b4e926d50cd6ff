#pragma once

#include <QString>
#include <QStringList>

#include "records/outcome.h"

namespace quorvel {

// Where notices go, as notify.ini says. A channel whose section is absent has
// an empty address (token, url) and is not used.
struct NotifySettings {
    struct Telegram {
        QString token;  // the bot's token: a secret, it sits in the request's path
        QString chat;   // a chat id, or @channelname
    } telegram;
    struct Mail {
        QString url;  // smtps://host[:port][/ehlo-name] or smtp://host[:port][/ehlo-name]
        QString user;
        QString password;
        QString from;
        QStringList to;
    } mail;
    struct Webhook {
        QString url;     // http:// or https://
        QString secret;  // optional: the body is signed with it
    } webhook;

    bool hasTelegram() const { return !telegram.token.isEmpty() || !telegram.chat.isEmpty(); }
    bool hasMail() const { return !mail.url.isEmpty(); }
    bool hasWebhook() const { return !webhook.url.isEmpty(); }
    bool namesAnyChannel() const { return hasTelegram() || hasMail() || hasWebhook(); }
    // Every secret the settings hold, to be masked in whatever is shown: the
    // token, the password, the webhook's secret, and the long last part of
    // the webhook's path and its query, where some hooks keep their key.
    QStringList secrets() const;
};

// $XDG_CONFIG_HOME/quorvel/notify.ini, or ~/.config/quorvel/notify.ini when
// the variable is unset or empty.
QString defaultNotifyConfigPath();
// The user's configuration folder: $XDG_CONFIG_HOME, or ~/.config.
QString userConfigFolder();

// Reads notify.ini. Because the file holds secrets, it is refused when anyone
// but its owner could read or write it (as ssh does with its keys), when it is
// not a regular file, when a value cannot be what it names (a mail address
// with a line break, a Telegram token that would change the request's path,
// an address of another scheme), and when it names no channel at all.
Outcome<NotifySettings> readNotifySettings(const QString& path);
// Reads notify.ini for editing, whatever its mode and values (a file that
// does not exist reads as no settings); fails only when it cannot be read.
Outcome<NotifySettings> readNotifySettingsForEditing(const QString& path);
// What can be wrong with the values of the settings.
struct NotifyProblem {
    enum class Kind {
        None,
        TelegramIncomplete,       // a token without a chat, or a chat without a token
        TelegramToken,            // not a bot token: it would change the request's path
        TelegramChat,             // a line break or another control character
        MailUrl,                  // not smtps://HOST or smtp://HOST
        MailFrom,                 // not one mail address
        MailNoRecipient,          // `to` names no address
        MailRecipient,            // `detail` is not a mail address
        MailPasswordWithoutUser,  // a password but no user
        WebhookUrl,               // not an https:// or http:// address
    };
    Kind kind = Kind::None;
    QString detail;
};
NotifyProblem checkNotifySettings(const NotifySettings& settings);
// The problem in words for the command line; empty for None.
QString notifyProblemText(const NotifyProblem& problem);
// What is wrong with the settings, in those words, or nothing.
QString notifySettingsProblem(const NotifySettings& settings);

// Writes notify.ini so that only its owner can read or write it, atomically;
// a value that QSettings' INI reading would take apart (a ',', a ';', a '"',
// a backslash, spaces at its ends) is written in double quotes. Creates the
// folder when it is missing.
Outcome<> writeNotifySettings(const QString& path, const NotifySettings& settings);

// Whether anyone but the owner of `path` may read or write it; the message
// names the file and its mode. Empty when only the owner may (or when the
// system has no such modes).
QString fileExposure(const QString& path);

}  // namespace quorvel
