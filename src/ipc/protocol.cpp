#include "ipc/protocol.h"

#include "platform/utf8.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <utility>

namespace quorva {

namespace {

using nlohmann::json;
// Written in the order given, so that every hello reads the same: {"type":"hello",...}.
using OrderedJson = nlohmann::ordered_json;

// Bounds on what a peer may send, in characters of the program's strings.
constexpr std::size_t kMaxJobText = 1024;
constexpr std::size_t kMaxLine = 2048; // event and status lines
constexpr std::size_t kMaxSearchText = 256;
constexpr std::size_t kMaxVersion = 64;
constexpr std::size_t kMaxIds = 1000;
constexpr std::int64_t kMaxInt = std::numeric_limits<int>::max();
constexpr std::int64_t kMaxInt64 = std::numeric_limits<std::int64_t>::max();

// In the order of Message's alternatives.
constexpr std::array<std::string_view, std::variant_size_v<Message>> kTypeNames = {
    "hello",        "jobUpdate",    "snapshotDone",  "eventAdded",      "eventsCleared",
    "statusUpdate", "searchResult", "searchRequest", "sendAgainRequest"};

[[noreturn]] void refuse(const std::string& why) {
    throw ProtocolError("message illisible : " + why);
}

[[noreturn]] void refuseField(const char* name, const std::string& why) {
    refuse(std::string("champ « ") + name + " » " + why);
}

void checkRange(const char* name, std::int64_t value, std::int64_t min, std::int64_t max) {
    if (value < min || value > max)
        refuseField(name, "hors limites");
}

void checkLength(const char* name, std::size_t length, std::size_t bound) {
    if (length > bound)
        refuseField(name, "trop long");
}

// Dates travel as "yyyy-MM-dd HH:mm:ss.zzz", every digit present.
constexpr std::string_view kDateTimePattern = "0000-00-00 00:00:00.000";

bool isValidDateTime(const DateTime& value) {
    return isValidDate(value.year, value.month, value.day) && value.hour >= 0 && value.hour < 24 &&
           value.minute >= 0 && value.minute < 60 && value.second >= 0 && value.second < 60 &&
           value.millisecond >= 0 && value.millisecond < 1000;
}

std::optional<DateTime> parseDateTime(std::string_view text) {
    if (text.size() != kDateTimePattern.size())
        return std::nullopt;
    std::array<int, 7> parts{};
    std::size_t part = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (kDateTimePattern[i] != '0') {
            if (text[i] != kDateTimePattern[i])
                return std::nullopt;
            ++part;
        } else if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        } else {
            parts[part] = parts[part] * 10 + (text[i] - '0');
        }
    }
    const DateTime value{parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], parts[6]};
    if (!isValidDateTime(value))
        return std::nullopt;
    return value;
}

// Puts each field of a message into its JSON object, checking it against the reader's bounds so
// that what one side sends the other accepts.
class Writer {
public:
    Writer(OrderedJson& out, const Locale& locale) : out_(out), locale_(locale) {}

    void integer(const char* name, std::int64_t value, std::int64_t min, std::int64_t max) {
        checkRange(name, value, min, max);
        out_[name] = value;
    }
    void boolean(const char* name, bool value) { out_[name] = value; }
    void ansi(const char* name, const std::string& value, std::size_t bound) {
        checkLength(name, value.size(), bound);
        out_[name] = toUtf8(locale_.ansiToWide(value));
    }
    void wide(const char* name, const std::wstring& value, std::size_t bound) {
        checkLength(name, value.size(), bound);
        out_[name] = toUtf8(value);
    }
    void dateTime(const char* name, const DateTime& value) {
        if (!isValidDateTime(value))
            refuseField(name, "n'est pas une date valide");
        char text[kDateTimePattern.size() + 1];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", value.year,
                      value.month, value.day, value.hour, value.minute, value.second,
                      value.millisecond);
        out_[name] = text;
    }
    void ids(const char* name, const std::vector<JobId>& values) {
        checkLength(name, values.size(), kMaxIds);
        for (const JobId id : values)
            checkRange(name, id, 0, kMaxInt);
        out_[name] = values;
    }
    template <class Fields> void object(const char* name, Fields&& fields) {
        Writer inner(out_[name], locale_);
        fields(inner);
    }

private:
    OrderedJson& out_;
    const Locale& locale_;
};

// Takes each field of a message from its JSON object, refusing anything missing, mistyped or out
// of bounds; fields it does not ask for are ignored.
class Reader {
public:
    Reader(const json& in, const Locale& locale) : in_(in), locale_(locale) {}

    template <class T>
    void integer(const char* name, T& value, std::int64_t min, std::int64_t max) {
        value = static_cast<T>(integerValue(name, find(name), min, max));
    }
    void boolean(const char* name, bool& value) {
        const json& field = find(name);
        if (!field.is_boolean())
            refuseField(name, "n'est pas un booléen");
        value = field.get<bool>();
    }
    void ansi(const char* name, std::string& value, std::size_t bound) {
        value = locale_.wideToAnsi(text(name));
        checkLength(name, value.size(), bound);
    }
    void wide(const char* name, std::wstring& value, std::size_t bound) {
        value = text(name);
        checkLength(name, value.size(), bound);
    }
    void dateTime(const char* name, DateTime& value) {
        const json& field = find(name);
        const auto parsed =
            field.is_string() ? parseDateTime(field.get_ref<const std::string&>()) : std::nullopt;
        if (!parsed)
            refuseField(name, "n'est pas une date valide");
        value = *parsed;
    }
    void ids(const char* name, std::vector<JobId>& values) {
        const json& field = find(name);
        if (!field.is_array())
            refuseField(name, "n'est pas une liste");
        checkLength(name, field.size(), kMaxIds);
        values.clear();
        for (const json& item : field)
            values.push_back(static_cast<JobId>(integerValue(name, item, 0, kMaxInt)));
    }
    template <class Fields> void object(const char* name, Fields&& fields) {
        const json& field = find(name);
        if (!field.is_object())
            refuseField(name, "n'est pas un objet");
        Reader inner(field, locale_);
        fields(inner);
    }

private:
    const json& find(const char* name) const {
        const auto it = in_.find(name);
        if (it == in_.end())
            refuseField(name, "absent");
        return *it;
    }
    static std::int64_t integerValue(const char* name, const json& field, std::int64_t min,
                                     std::int64_t max) {
        if (!field.is_number_integer())
            refuseField(name, "n'est pas un entier");
        // Past the signed range, get<std::int64_t>() would wrap.
        if (field.is_number_unsigned() && field.get<std::uint64_t>() > kMaxInt64)
            refuseField(name, "hors limites");
        const auto value = field.get<std::int64_t>();
        checkRange(name, value, min, max);
        return value;
    }
    std::wstring text(const char* name) const {
        const json& field = find(name);
        if (!field.is_string())
            refuseField(name, "n'est pas un texte");
        return fromUtf8(field.get_ref<const std::string&>());
    }

    const json& in_;
    const Locale& locale_;
};

// The fields of each message, one list for both ways.

template <class Io> void fields(Io& io, Hello& m) {
    io.integer("protocol", m.protocol, 1, kMaxInt);
    io.ansi("version", m.version, kMaxVersion);
}

template <class Io> void jobFields(Io& io, Job& job) {
    io.ansi("spoolName", job.spoolName, kMaxJobText);
    io.dateTime("changedAt", job.changedAt);
    io.integer("size", job.size, -1, kMaxInt64); // -1: the file could not be found
    io.integer("steadyReadings", job.steadyReadings, 0, kMaxInt);
    io.wide("customer", job.customer, kMaxJobText);
    io.wide("registration", job.registration, kMaxJobText);
    io.wide("chassis", job.chassis, kMaxJobText);
    io.wide("document", job.document, kMaxJobText);
    io.ansi("reportId", job.reportId, kMaxJobText);
    io.ansi("stateText", job.stateText, kMaxJobText);
    io.integer("storeKey", job.storeKey, 0, kMaxInt64);
    io.boolean("fromHistory", job.fromHistory);
    io.boolean("foundBySearch", job.foundBySearch);
}

template <class Io> void fields(Io& io, JobUpdate& m) {
    io.integer("id", m.id, 0, kMaxInt);
    io.object("job", [&m](Io& inner) { jobFields(inner, m.job); });
    io.boolean("canSendAgain", m.canSendAgain);
}

template <class Io> void fields(Io&, SnapshotDone&) {
}

template <class Io> void fields(Io& io, EventAdded& m) {
    io.ansi("line", m.line, kMaxLine);
}

template <class Io> void fields(Io&, EventsCleared&) {
}

template <class Io> void fields(Io& io, StatusUpdate& m) {
    io.ansi("capture", m.capture, kMaxLine);
    io.ansi("server", m.server, kMaxLine);
    io.integer("pending", m.pending, 0, kMaxInt);
    io.boolean("failing", m.failing);
}

template <class Io> void fields(Io& io, SearchResult& m) {
    io.integer("request", m.request, 0, kMaxInt);
    io.ids("ids", m.ids);
}

template <class Io> void fields(Io& io, SearchRequest& m) {
    io.integer("request", m.request, 0, kMaxInt);
    io.wide("text", m.text, kMaxSearchText);
}

template <class Io> void fields(Io& io, SendAgainRequest& m) {
    io.integer("id", m.id, 0, kMaxInt);
}

// An empty message of the alternative at `index`.
template <std::size_t... I> Message emptyMessage(std::size_t index, std::index_sequence<I...>) {
    static constexpr Message (*make[])() = {[] { return Message(std::in_place_index<I>); }...};
    return make[index]();
}

} // namespace

std::string encodeMessage(const Message& message, const Locale& locale) {
    OrderedJson out = OrderedJson::object();
    out["type"] = kTypeNames[message.index()];
    Writer writer(out, locale);
    // The field lists take their message by reference, for the reader: give them a copy.
    Message copy = message;
    std::visit([&writer](auto& m) { fields(writer, m); }, copy);
    return out.dump();
}

Message decodeMessage(std::string_view payload, const Locale& locale) {
    const json in = json::parse(payload, nullptr, false);
    if (in.is_discarded())
        refuse("JSON invalide");
    if (!in.is_object())
        refuse("pas un objet JSON");
    const auto type = in.find("type");
    if (type == in.end() || !type->is_string())
        refuse("type absent");
    std::size_t index = 0;
    while (index < kTypeNames.size() && kTypeNames[index] != type->get_ref<const std::string&>())
        ++index;
    if (index == kTypeNames.size())
        refuse("type de message inconnu");
    Message message = emptyMessage(index, std::make_index_sequence<std::variant_size_v<Message>>());
    Reader reader(in, locale);
    std::visit([&reader](auto& m) { fields(reader, m); }, message);
    return message;
}

std::string versionMismatchText(const Hello& service, const std::string& deskVersion) {
    return "Service de capture en version " + service.version + ", poste en version " +
           deskVersion + " : mettez Quorva à jour sur ce poste.";
}

} // namespace quorva
