#include "report-server/upload_form.h"

#include "report-server/text_util.h"

#include <algorithm>

namespace quorva::report {

namespace {

constexpr std::string_view xmlDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n";

const FormPart* findText(const std::vector<FormPart>& parts, std::string_view name) {
    const auto it = std::find_if(parts.begin(), parts.end(), [name](const FormPart& part) {
        return part.fileName.empty() && part.name == name;
    });
    return it == parts.end() ? nullptr : &*it;
}

bool isRequired(std::string_view name) {
    return std::find(requiredFields.begin(), requiredFields.end(), name) != requiredFields.end();
}

std::string escapeXml(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

std::variant<Upload, std::string> checkUpload(const std::vector<FormPart>& parts) {
    Upload upload;
    for (const std::string_view name : requiredFields) {
        const FormPart* field = findText(parts, name);
        if (!field)
            return "Champ manquant : " + std::string(name);
        upload.fields.push_back({field->name, field->content});
    }
    std::vector<const FormPart*> files;
    for (const FormPart& part : parts) {
        if (!part.fileName.empty())
            files.push_back(&part);
        else if (!isRequired(part.name) && findText(parts, part.name) == &part)
            upload.fields.push_back({part.name, part.content});
    }
    if (files.empty())
        return std::string("Aucun fichier joint");
    if (files.size() > 1)
        return "Un seul fichier attendu, " + std::to_string(files.size()) + " joints";

    const std::string& limitText = findText(parts, "MAX_FILE_SIZE")->content;
    const auto limit = parseDecimal(limitText);
    if (!limit)
        return "Valeur de MAX_FILE_SIZE invalide : " + abbreviated(limitText);
    const FormPart& file = *files.front();
    if (file.content.size() > *limit)
        return "Fichier trop volumineux : " + std::to_string(file.content.size()) +
               " octets pour un maximum de " + std::to_string(*limit);

    upload.fileField = file.name;
    upload.fileName = file.fileName;
    upload.contentType = file.contentType;
    upload.content = file.content;
    return upload;
}

std::string acceptedAnswer(std::uint64_t id) {
    return std::string(xmlDeclaration) + "<Report><idReport>" + std::to_string(id) +
           "</idReport></Report>\r\n";
}

std::string refusedAnswer(std::string_view reason) {
    return std::string(xmlDeclaration) + "<Report><erreur>" + escapeXml(reason) +
           "</erreur></Report>\r\n";
}

} // namespace quorva::report
