#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

namespace quorvel {

// One line of a notice; a heading opens a group of lines.
struct NoticeLine {
    QString text;
    bool heading = false;
};

// What one run (or a test) has to tell, in the form every channel renders
// from: the lines for a chat and a mail body, a subject for the mail, and
// the facts a webhook sends beside the text.
struct Notice {
    QString subject;
    QList<NoticeLine> lines;
    // The webhook's body without "text" and "content", which the channel
    // adds from the lines.
    QJsonObject payload;

    // The lines as plain text, one per line, without a line end after the last.
    QString plainText() const;
    bool isEmpty() const { return lines.isEmpty(); }

    // As the history keeps it, and back; a text that is no notice reads as
    // an empty one.
    QString toJson() const;
    static Notice fromJson(const QString& json);
};

// What became of a notice on one channel.
struct DeliveryAnswer {
    bool accepted = false;
    // What the server answered ("HTTP 200", "250", or its error text), or
    // why there was no answer; never a secret.
    QString answer;
    int sent = 0;  // messages accepted, from the first on (a chat may take several)
};

}  // namespace quorvel
