#ifndef ORVEXREPLYCORPUS_H
#define ORVEXREPLYCORPUS_H

#include <QByteArray>
#include <QVector>

// Bad-input corpus for the Orvex reply reader: what a faulty or hostile device could send.
// Shared by the corpus replay test and the fuzzer's seed writer.
namespace OrvexReplyCorpus {

// At least one well-formed reply of every reply code, with texts, lists and RDM data.
QVector<QByteArray> wellFormed();
// Every well-formed reply cut to every length from 0 to its full size.
QVector<QByteArray> truncated();
// Oversized replies (beyond the 4096-byte receive buffer), replies whose counts, lengths and
// texts claim more than they hold, and replies with bytes flipped (fixed seed, repeatable).
QVector<QByteArray> corrupted(quint32 seed = 6038, int flipsPerReply = 40);
// Port discovery replies with fewer records than their count of 4; part of corrupted() too.
QVector<QByteArray> shortPortReplies();

} // namespace OrvexReplyCorpus

#endif // ORVEXREPLYCORPUS_H
