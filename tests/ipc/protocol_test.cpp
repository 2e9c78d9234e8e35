#include "ipc/protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace quorva {
namespace {

// The job fields that travel, for comparing a job with its decoded copy.
auto carried(const Job& job) {
    return std::tie(job.spoolName, job.changedAt, job.size, job.steadyReadings, job.customer,
                    job.registration, job.chassis, job.document, job.reportId, job.stateText,
                    job.storeKey, job.fromHistory, job.foundBySearch);
}

Job sampleJob() {
    Job job;
    job.spoolName = "00012.spl";
    job.changedAt = {2024, 2, 29, 23, 59, 58, 7};
    job.size = -1;
    job.steadyReadings = 6;
    job.customer = L"Garage \u00C9toile \u4E2D";
    job.registration = L"AB-123-CD";
    job.chassis = L"VF1\"\\\n";
    job.document = L"Facture";
    job.reportId = "R-42";
    job.stateText = "Envoy\xE9"
                    "e \xE0 12:00 \x80";
    job.storeKey = 1LL << 40;
    job.fromHistory = true;
    job.foundBySearch = true;
    return job;
}

std::string framed(const Message& message, const Locale& locale) {
    return encodeFrame(encodeMessage(message, locale));
}

TEST(ProtocolTest, EveryMessageCrossesTheFramesUnchanged) {
    const FixedLocale locale;
    const std::vector<Message> messages = {
        Hello{kProtocolVersion, "1.4.2-3-gabc"},
        JobUpdate{7, sampleJob(), true},
        SnapshotDone{},
        EventAdded{"12:00:01 - 00012.spl : cr\xE9\xE9"},
        EventsCleared{},
        StatusUpdate{"Dossier d'impression introuvable", "Serveur joignable", 3, true},
        SearchResult{5, {0, 7, 2147483647}},
        SearchRequest{5, L"\u00E9toile \u4E2D"},
        SendAgainRequest{7},
    };
    std::string stream;
    for (const Message& message : messages)
        stream += framed(message, locale);
    // Accents travel as UTF-8, whatever the desk's code page.
    EXPECT_NE(stream.find("Envoy\xC3\xA9"
                          "e \xC3\xA0 12:00 \xE2\x82\xAC"),
              std::string::npos);

    FrameReader reader;
    std::vector<Message> decoded;
    // Pieces of 3 bytes: lengths and payloads cut anywhere.
    for (std::size_t at = 0; at < stream.size(); at += 3) {
        reader.append(stream.data() + at, std::min<std::size_t>(3, stream.size() - at));
        while (auto payload = reader.next())
            decoded.push_back(decodeMessage(*payload, locale));
    }
    ASSERT_EQ(decoded.size(), messages.size());
    for (std::size_t i = 0; i < messages.size(); ++i) {
        ASSERT_EQ(decoded[i].index(), messages[i].index());
        EXPECT_EQ(encodeMessage(decoded[i], locale), encodeMessage(messages[i], locale));
    }
    const auto& update = std::get<JobUpdate>(decoded[1]);
    EXPECT_EQ(update.id, 7);
    EXPECT_TRUE(update.canSendAgain);
    EXPECT_EQ(carried(update.job), carried(sampleJob()));
    EXPECT_EQ(std::get<SearchRequest>(decoded[7]).text, L"\u00E9toile \u4E2D");
    EXPECT_EQ(std::get<SearchResult>(decoded[6]).ids, (std::vector<JobId>{0, 7, 2147483647}));
}

TEST(ProtocolTest, HelloIsReadFromAnyLaterVersion) {
    const FixedLocale locale;
    const Message message = decodeMessage(
        R"({"version":"9.0","type":"hello","protocol":12,"features":["x"],"more":{"a":1}})",
        locale);
    const auto& hello = std::get<Hello>(message);
    EXPECT_EQ(hello.protocol, 12);
    EXPECT_EQ(hello.version, "9.0");
    EXPECT_EQ(encodeMessage(Hello{1, "1.0"}, locale),
              R"({"type":"hello","protocol":1,"version":"1.0"})");
    EXPECT_EQ(versionMismatchText(hello, "1.0"),
              "Service de capture en version 9.0, poste en version 1.0 : mettez Quorva \xE0 jour "
              "sur ce poste.");
}

TEST(ProtocolTest, RefusesAnythingButExactlyOneMessage) {
    const FixedLocale locale;
    const std::string job = encodeMessage(JobUpdate{1, sampleJob(), false}, locale);
    const auto jobWith = [&job](const std::string& from, const std::string& to) {
        const auto at = job.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return std::string(job).replace(at, from.size(), to);
    };
    const std::string changedAt = R"("changedAt":"2024-02-29 23:59:58.007")";
    std::string manyIds = "0";
    for (int i = 0; i < 1000; ++i)
        manyIds += ",0";
    const std::vector<std::string> payloads = {
        "",
        R"({"type":"hello","protocol":1,"version":"1.0")",
        R"([{"type":"snapshotDone"}])",
        R"({"type":"goodbye"})",
        R"({"protocol":1,"version":"1.0"})",
        R"({"type":7})",
        R"({"type":"hello","version":"1.0"})",
        R"({"type":"hello","protocol":"1","version":"1.0"})",
        R"({"type":"hello","protocol":0,"version":"1.0"})",
        R"({"type":"hello","protocol":1,"version":")" + std::string(65, 'v') + R"("})",
        R"({"type":"sendAgainRequest","id":-1})",
        R"({"type":"sendAgainRequest","id":1.0})",
        R"({"type":"sendAgainRequest","id":2147483648})",
        R"({"type":"searchResult","request":1,"ids":[1,-2]})",
        R"({"type":"searchResult","request":1,"ids":{}})",
        R"({"type":"searchResult","request":1,"ids":[)" + manyIds + "]}",
        R"({"type":"searchRequest","request":1,"text":")" + std::string(257, 'x') + R"("})",
        R"({"type":"eventAdded","line":")" + std::string(2049, 'x') + R"("})",
        R"({"type":"statusUpdate","capture":"","server":"","pending":-1,"failing":false})",
        R"({"type":"statusUpdate","capture":"","server":"","pending":1,"failing":0})",
        R"({"type":"jobUpdate","id":1,"job":[],"canSendAgain":false})",
        jobWith(changedAt, R"("changedAt":"2023-02-29 23:59:58.007")"),
        jobWith(changedAt, R"("changedAt":"2024-02-29 24:00:00.000")"),
        jobWith(changedAt, R"("changedAt":"2024-02-29T23:59:58.007")"),
        jobWith(changedAt, R"("changedAt":"2024-02-29 23:59:58.07")"),
        jobWith(changedAt, R"("changedAt":"+024-02-29 23:59:58.007")"),
        jobWith(R"("size":-1)", R"("size":-2)"),
        jobWith(R"("size":-1)", R"("size":18446744073709551615)"), // -1 in 64 bits
        jobWith(R"("reportId":"R-42")", R"("reportId":")" + std::string(1025, 'r') + "\""),
        jobWith(R"("customer":)", R"("Customer":)"),
    };
    for (const std::string& payload : payloads)
        EXPECT_THROW(decodeMessage(payload, locale), ProtocolError) << payload;
    // The sender refuses what the reader would.
    EXPECT_THROW(encodeMessage(SendAgainRequest{-1}, locale), ProtocolError);
    EXPECT_THROW(encodeMessage(SearchResult{1, std::vector<JobId>(1001, 1)}, locale),
                 ProtocolError);
    Job undated = sampleJob();
    undated.changedAt = {};
    EXPECT_THROW(encodeMessage(JobUpdate{1, undated, false}, locale), ProtocolError);
}

TEST(FrameTest, RefusesBadLengthsBeforeTheirPayload) {
    EXPECT_THROW(encodeFrame(""), ProtocolError);
    EXPECT_THROW(encodeFrame(std::string(kMaxMessageBytes + 1, 'x')), ProtocolError);
    EXPECT_EQ(encodeFrame(std::string(kMaxMessageBytes, 'x')).size(), kMaxMessageBytes + 4);
    EXPECT_EQ(encodeFrame("ab"), std::string("\x02\0\0\0ab", 6));

    const auto refused = [](std::string header) {
        FrameReader reader;
        reader.append(header.data(), 3);
        EXPECT_FALSE(reader.next());
        reader.append(header.data() + 3, 1);
        EXPECT_THROW(reader.next(), ProtocolError);
    };
    refused(std::string("\0\0\0\0", 4));
    refused(std::string("\x01\x00\x01\x00", 4)); // kMaxMessageBytes + 1
    refused("\xFF\xFF\xFF\xFF");

    // Several frames in one piece, then one whose payload comes later.
    FrameReader reader;
    const std::string frames = encodeFrame("one") + encodeFrame("two") + encodeFrame("three");
    reader.append(frames.data(), frames.size() - 2);
    EXPECT_EQ(reader.next(), "one");
    EXPECT_EQ(reader.next(), "two");
    EXPECT_FALSE(reader.next());
    reader.append(frames.data() + frames.size() - 2, 2);
    EXPECT_EQ(reader.next(), "three");
    EXPECT_FALSE(reader.next());
}

} // namespace
} // namespace quorva
