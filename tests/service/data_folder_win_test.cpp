// Under Wine, a file's owner is always the account of the session (the one the test runs as) and
// its access list is mapped to the Unix mode bits: SYSTEM and that account in full control, and
// Everyone as the "other" bits allow. An owner set is not kept, nor are entries for Users or
// Authenticated Users; an entry allowing Everyone to write is kept (as the "other" write bit).
// No junction can be made (FSCTL_SET_REPARSE_POINT fails with ERROR_NOT_SUPPORTED) and a Unix
// link is not reported as a reparse point: those refusals are tested on the decision alone. Wine
// also renames a folder held open without sharing deletion, which Windows refuses.

#include "platform/error.h"
#include "service/data_folder_win.h"

#include "core/capture_core.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>

#include <aclapi.h>
#include <sddl.h>

namespace quorva {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Optional;

FolderSecurity securityOf(const std::string& path) {
    const UniqueHandle handle(CreateFileA(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, 0,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                          nullptr));
    return readFolderSecurity(handle.get(), path);
}

// As the earlier release left its folder: every account may write.
void letEveryoneWrite(const std::string& path) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &raw, nullptr));
    const BasicUniqueHandle<LocalFree, HLOCAL> descriptor(raw);
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorDacl(raw, &present, &dacl, &defaulted);
    const UniqueHandle handle(CreateFileA(path.c_str(), READ_CONTROL | WRITE_DAC, 0, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_EQ(SetSecurityInfo(handle.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, dacl, nullptr),
              DWORD{ERROR_SUCCESS});
}

class DataFolderTest : public ::testing::Test {
protected:
    testkit::TempDir programData_;
    const std::string zentor_ = programData_.path() + "\\Zentor";
    const std::string data_ = zentor_ + "\\Quorva";
    std::vector<std::string> logged_;
    const FolderLog log_ = [this](const std::string& line) { logged_.push_back(line); };
};

TEST_F(DataFolderTest, CreatesItsLevelsThenAcceptsThem) {
    {
        const DataFolder folder(programData_.path(), log_);
        EXPECT_EQ(folder.path(), data_);
        EXPECT_THAT(logged_, ElementsAre("Dossier créé pour le service : " + zentor_,
                                         "Dossier créé pour le service : " + data_,
                                         "Dossier créé pour le service : " + data_ + "\\outbox",
                                         "Dossier créé pour le service : " + data_ + "\\logs"));
    }
    logged_.clear();
    EXPECT_NO_THROW(DataFolder(programData_.path(), log_));
    EXPECT_THAT(logged_, IsEmpty());
}

TEST_F(DataFolderTest, AFolderEveryoneCanWriteIsRefusedUntilMadeTheServices) {
    { const DataFolder created(programData_.path(), log_); }
    const std::string outbox = data_ + "\\outbox";
    const std::string copy = programData_.write("Zentor\\Quorva\\outbox\\00000001.spl", "%!PS");
    // Found already the service's: what it holds is trusted as far as the folder is.
    const std::string marker = data_ + "\\" + kUnverifiedMarker;
    makeDataFolderTheServices(programData_.path(), log_);
    EXPECT_EQ(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);
    letEveryoneWrite(outbox);
    letEveryoneWrite(copy);
    ASSERT_THAT(refusalOf(copy, securityOf(copy)), Optional(HasSubstr("modifiable")));
    try {
        const DataFolder refused(programData_.path(), log_);
        ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Le dossier " + outbox +
                      " est modifiable par d'autres comptes que SYSTEM et Administrateurs : la "
                      "capture ne s'en sert pas");
    }

    logged_.clear();
    makeDataFolderTheServices(programData_.path(), log_);
    EXPECT_THAT(logged_, ElementsAre("Dossier réservé au service : " + zentor_,
                                     "Dossier réservé au service : " + data_,
                                     "Dossier réservé au service : " + outbox,
                                     "Dossier réservé au service : " + data_ + "\\logs",
                                     "Contenu trouvé modifiable par d'autres comptes : à vérifier "
                                     "par le service"));
    EXPECT_NO_THROW(DataFolder(programData_.path(), log_));
    EXPECT_EQ(refusalOf(copy, securityOf(copy)), std::nullopt);
    // Its contents may have been planted: the service trusts none of its proofs.
    EXPECT_NE(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
} // namespace quorva
