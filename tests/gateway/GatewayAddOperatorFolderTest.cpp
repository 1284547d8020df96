// add-operator makes the folders above a missing operators file itself,
// owner-only, so an administrator's first add-operator needs no mkdir.

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

int AddOperator(const QString& file, const QByteArray& password, QByteArray& output) {
    QProcess add;
    add.start(QStringLiteral(QUILLMARK_GATEWAY_PROGRAM),
              {"add-operator", "--operators", file, "erin"});
    add.write(password);
    add.closeWriteChannel();
    if (!add.waitForFinished(30000))
        output = "add-operator did not finish within 30 s";
    else
        output = add.readAllStandardError();
    return add.exitStatus() == QProcess::NormalExit ? add.exitCode() : -1;
}

unsigned Mode(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777
                                                                     : 0xffffu;
}

struct FolderCase {
    const char* file;                     // below the test's own folder
    std::vector<const char*> madeFolders; // which add-operator must make, 0700
};

TEST(GatewayAddOperatorFolderTest, MissingFoldersAboveTheFileAreMadeOwnerOnly) {
    const std::vector<FolderCase> cases = {
        {"operators", {}},
        {"etc/operators", {"etc"}},
        {"etc/quillmark-gateway/operators", {"etc", "etc/quillmark-gateway"}},
        {"etc//deeper/operators", {"etc", "etc/deeper"}},
    };
    for (const FolderCase& c : cases) {
        QTemporaryDir dir;
        const QString file = dir.path() + "/" + c.file;
        QByteArray output;
        ASSERT_EQ(AddOperator(file, "pass word\n", output), 0) << c.file << ": " << output.data();
        EXPECT_EQ(Mode(file), 0600u) << c.file;
        for (const char* folder : c.madeFolders)
            EXPECT_EQ(Mode(dir.path() + "/" + folder), 0700u) << c.file << ": " << folder;
    }
}

TEST(GatewayAddOperatorFolderTest, AnExistingFolderKeepsItsMode) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/etc";
    ASSERT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0750), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0750), 0);
    QByteArray output;
    ASSERT_EQ(AddOperator(folder + "/operators", "pass word\n", output), 0) << output.data();
    EXPECT_EQ(Mode(folder), 0750u);
}

TEST(GatewayAddOperatorFolderTest, AFolderThatCannotBeMadeIsNamed) {
    QTemporaryDir dir;
    const QString blocker = dir.path() + "/plain-file";
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QByteArray output;
    EXPECT_EQ(AddOperator(blocker + "/sub/operators", "pass word\n", output), 1);
    EXPECT_TRUE(output.contains(QFile::encodeName(blocker))) << output.data();
}

} // namespace
