#include "service/data_folder.h"

#include <gmock/gmock.h>

namespace quorva {
namespace {

using ::testing::HasSubstr;
using ::testing::Optional;

const std::string kFolder = "C:\\ProgramData\\Zentor\\Quorva";

// What the service creates: SYSTEM and Administrators in full control, owner Administrators.
FolderSecurity serviceOnly() {
    return {false,
            Trustee::Administrators,
            {{Trustee::System, true, rights::kFullControl, false},
             {Trustee::Administrators, true, rights::kFullControl, false}}};
}

FolderSecurity with(AccessEntry entry) {
    FolderSecurity security = serviceOnly();
    security.entries.push_back(entry);
    return security;
}

TEST(DataFolderDecision, RefusesWhatAnotherAccountCouldChange) {
    FolderSecurity junction = serviceOnly();
    junction.reparsePoint = true;
    EXPECT_THAT(refusalOf(kFolder, junction),
                Optional(std::string("Le dossier " + kFolder +
                                     " est un point d'analyse (jonction ou lien) : la capture ne "
                                     "s'en sert pas")));

    FolderSecurity userOwned = serviceOnly();
    userOwned.owner = Trustee::Other;
    EXPECT_THAT(refusalOf(kFolder, userOwned),
                Optional(std::string("Le dossier " + kFolder +
                                     " appartient à un autre compte que SYSTEM, Administrateurs ou "
                                     "TrustedInstaller : la capture ne s'en sert pas")));

    const std::string writable = "Le dossier " + kFolder +
                                 " est modifiable par d'autres comptes que SYSTEM et "
                                 "Administrateurs : la capture ne s'en sert pas";
    // Users as the earlier release left them; Everyone allowed to delete; CREATOR OWNER in full
    // control of what is created in the folder (inherit-only: the folder itself is not
    // writable, but what the service writes into it would be); Users with as much as they may get.
    for (const AccessEntry& entry : {
             AccessEntry{Trustee::Other, true, rights::kReadAndExecute | rights::kAddFile, false},
             AccessEntry{Trustee::Other, true, rights::kDelete, false},
             AccessEntry{Trustee::Other, true, rights::kGenericAll, true},
             AccessEntry{Trustee::Other, true, rights::kMaximumAllowed, false},
         })
        EXPECT_THAT(refusalOf(kFolder, with(entry)), Optional(writable)) << entry.mask;
}

TEST(DataFolderDecision, AcceptsWhatOnlyTheSystemCanChange) {
    EXPECT_EQ(refusalOf(kFolder, serviceOnly()), std::nullopt);
    FolderSecurity owned = with({Trustee::Other, true, rights::kReadAndExecute, false});
    for (const Trustee owner :
         {Trustee::System, Trustee::Administrators, Trustee::TrustedInstaller}) {
        owned.owner = owner;
        EXPECT_EQ(refusalOf(kFolder, owned), std::nullopt);
    }
    // Writes denied to everyone, or granted to TrustedInstaller, take nothing from the service.
    EXPECT_EQ(refusalOf(kFolder, with({Trustee::Other, false, rights::kGenericAll, false})),
              std::nullopt);
    EXPECT_EQ(
        refusalOf(kFolder, with({Trustee::TrustedInstaller, true, rights::kFullControl, true})),
        std::nullopt);
}

} // namespace
} // namespace quorva
