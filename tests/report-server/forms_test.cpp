#include "report-server/options.h"
#include "report-server/pdf_query.h"
#include "report-server/upload_form.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorva::report {
namespace {

std::vector<FormPart> deskParts(const std::string& content, const std::string& maxSize) {
    return {{"XMLC_OutputFormat", "", "", "XML"},
            {"PrintDate", "", "", "07/12/2026"},
            {"Site", "", "", "VERNO"},
            {"JobID", "", "", "3"},
            {"MAX_FILE_SIZE", "", "", maxSize},
            {"FileName", "", "", "00012.spl"},
            {"00012.spl", "C:\\WINDOWS\\system32\\spool\\PRINTERS\\00012.spl",
             "multipart/form-data", content}};
}

std::vector<FormPart> without(std::vector<FormPart> parts, const std::string& name) {
    std::erase_if(parts, [&](const FormPart& p) { return p.name == name; });
    return parts;
}

std::string refusal(const std::vector<FormPart>& parts) {
    const auto result = checkUpload(parts);
    const auto* reason = std::get_if<std::string>(&result);
    return reason ? *reason : "(accepted)";
}

TEST(UploadFormTest, CompleteUploadKeepsFieldsInDeskOrderThenOthers) {
    auto parts = deskParts("abc", "4096000");
    parts.insert(parts.begin(), {"Extra", "", "", "x"});
    std::swap(parts[1], parts[3]);
    const auto result = checkUpload(parts);
    ASSERT_TRUE(std::holds_alternative<Upload>(result)) << refusal(parts);
    const Upload& upload = std::get<Upload>(result);
    std::vector<std::string> names;
    for (const TextField& field : upload.fields)
        names.push_back(field.name);
    EXPECT_EQ(names, (std::vector<std::string>{"XMLC_OutputFormat", "PrintDate", "Site", "JobID",
                                               "MAX_FILE_SIZE", "FileName", "Extra"}));
    EXPECT_EQ(upload.fields[3].value, "3");
    EXPECT_EQ(upload.fileField, "00012.spl");
    EXPECT_EQ(upload.fileName, "C:\\WINDOWS\\system32\\spool\\PRINTERS\\00012.spl");
    EXPECT_EQ(upload.contentType, "multipart/form-data");
    EXPECT_EQ(upload.content, "abc");
}

TEST(UploadFormTest, RefusalsSayWhyInFrench) {
    auto twoFiles = deskParts("abc", "10");
    twoFiles.push_back({"other.spl", "C:\\other.spl", "", "x"});
    auto siteAsFile = without(deskParts("abc", "10"), "Site");
    siteAsFile.push_back({"Site", "C:\\site.txt", "", "VERNO"});
    const std::vector<std::pair<std::vector<FormPart>, std::string>> cases = {
        {without(deskParts("abc", "10"), "XMLC_OutputFormat"),
         "Champ manquant : XMLC_OutputFormat"},
        {without(deskParts("abc", "10"), "PrintDate"), "Champ manquant : PrintDate"},
        {without(deskParts("abc", "10"), "Site"), "Champ manquant : Site"},
        {without(deskParts("abc", "10"), "JobID"), "Champ manquant : JobID"},
        {without(deskParts("abc", "10"), "MAX_FILE_SIZE"), "Champ manquant : MAX_FILE_SIZE"},
        {without(deskParts("abc", "10"), "FileName"), "Champ manquant : FileName"},
        {siteAsFile, "Champ manquant : Site"},
        {without(deskParts("abc", "10"), "00012.spl"), "Aucun fichier joint"},
        {twoFiles, "Un seul fichier attendu, 2 joints"},
        {deskParts("abc", ""), "Valeur de MAX_FILE_SIZE invalide : "},
        {deskParts("abc", "-1"), "Valeur de MAX_FILE_SIZE invalide : -1"},
        {deskParts("abc", "4 096 000"), "Valeur de MAX_FILE_SIZE invalide : 4 096 000"},
        {deskParts("abc", std::string(50, '9')),
         "Valeur de MAX_FILE_SIZE invalide : " + std::string(40, '9') + "..."},
        {deskParts("0123456789A", "10"),
         "Fichier trop volumineux : 11 octets pour un maximum de 10"},
        {deskParts("0123456789", "10"), "(accepted)"},
        {deskParts("", "0"), "(accepted)"},
    };
    for (const auto& [parts, expected] : cases)
        EXPECT_EQ(refusal(parts), expected);
}

TEST(UploadFormTest, AnswersCarryTheIdOrTheWordErreur) {
    const std::string accepted = acceptedAnswer(42);
    EXPECT_NE(accepted.find("<idReport>42</idReport>"), std::string::npos);
    EXPECT_EQ(accepted.find("erreur"), std::string::npos);
    EXPECT_TRUE(accepted.starts_with("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"));

    const std::string refused = refusedAnswer("Champ manquant : <Site> & co");
    EXPECT_NE(refused.find("<erreur>Champ manquant : &lt;Site&gt; &amp; co</erreur>"),
              std::string::npos);
    EXPECT_EQ(refused.find("<idReport>"), std::string::npos);
}

TEST(PdfQueryTest, ReportNumberOrReason) {
    const std::vector<std::pair<std::string, std::variant<std::uint64_t, std::string>>> cases = {
        {"rptSelect=idDocument=12&rptName=Facture", 12u},
        {"rptName=Facture&rptSelect=idDocument=3", 3u},
        {"rptSelect=idDocument%3D5&rptName=Factur%65", 5u},
        {"rptSelect=idDocument=18446744073709551615&rptName=Facture", 18446744073709551615u},
        {"rptSelect=idDocument=12", std::string("Paramètre rptName manquant")},
        {"rptSelect=idDocument=12&rptName=Devis", std::string("Modèle de rapport inconnu : Devis")},
        {"rptName=Facture", std::string("Paramètre rptSelect manquant")},
        {"rptSelect=12&rptName=Facture", std::string("Sélection de rapport invalide : 12")},
        {"rptSelect=idDocument=&rptName=Facture", std::string("Numéro de rapport invalide : ")},
        {"rptSelect=idDocument=0&rptName=Facture", std::string("Numéro de rapport invalide : 0")},
        {"rptSelect=idDocument=007&rptName=Facture",
         std::string("Numéro de rapport invalide : 007")},
        {"rptSelect=idDocument=-1&rptName=Facture", std::string("Numéro de rapport invalide : -1")},
        {"rptSelect=idDocument=1x&rptName=Facture", std::string("Numéro de rapport invalide : 1x")},
        {"rptSelect=idDocument=../1&rptName=Facture",
         std::string("Numéro de rapport invalide : ../1")},
        {"rptSelect=idDocument=18446744073709551616&rptName=Facture",
         std::string("Numéro de rapport invalide : 18446744073709551616")},
    };
    for (const auto& [query, expected] : cases)
        EXPECT_EQ(parsePdfQuery(query), expected) << query;
}

std::variant<Options, std::string> parse(std::vector<std::string_view> args) {
    return parseOptions(args);
}

TEST(OptionsTest, DefaultsAndValues) {
    const Options defaults = std::get<Options>(parse({}));
    EXPECT_EQ(defaults.port, 8080);
    EXPECT_EQ(defaults.bindAddress, "127.0.0.1");
    EXPECT_EQ(defaults.prefix, "/KelbBin/Kelb.dll/");
    EXPECT_EQ(defaults.dataFolder, "report-data");

    const Options given = std::get<Options>(
        parse({"--port", "0", "--bind", "::1", "--prefix", "/x/", "--data", "/tmp/d"}));
    EXPECT_EQ(given.port, 0);
    EXPECT_EQ(given.bindAddress, "::1");
    EXPECT_EQ(given.prefix, "/x/");
    EXPECT_EQ(given.dataFolder, "/tmp/d");
    EXPECT_TRUE(std::get<Options>(parse({"--help"})).help);
}

TEST(OptionsTest, MistakesAreNamed) {
    const std::vector<std::pair<std::vector<std::string_view>, std::string>> cases = {
        {{"--port"}, "--port needs a value"},
        {{"--port", "65536"}, "--port needs a number from 0 to 65535, not 65536"},
        {{"--port", "http"}, "--port needs a number from 0 to 65535, not http"},
        {{"--prefix", "KelbBin/"}, "--prefix must start with /, not KelbBin/"},
        {{"--data", ""}, "--data needs a folder"},
        {{"--verbose"}, "unknown option --verbose"},
    };
    for (const auto& [args, expected] : cases)
        EXPECT_EQ(std::get<std::string>(parse(args)), expected);
}

} // namespace
} // namespace quorva::report
