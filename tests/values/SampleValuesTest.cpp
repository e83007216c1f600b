// The bundled sample directory (data/sample-directory.json) read cell by cell
// the way a report reads it: one value of every syntax and of every named
// octet-string layout with its text pinned, and every value of every object
// formatted without a fault. Where each value lives: the header of
// scripts/make-sample-image and data/README.md.

#include "client/image/ImageClient.h"
#include "client/image/ImageLoader.h"
#include "directory/DirectoryAccess.h"
#include "directory/DirectoryNames.h"
#include "directory/ScopedBuffer.h"
#include "platform/TextEncoding.h"
#include "support/CountingRunFeedback.h"
#include "support/ScopedTimeZone.h"
#include "support/ScriptedMessagePort.h"
#include "values/CellTextReader.h"
#include "values/ValueFormatting.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::values {
namespace {

// The sample served through the embedded directory, with the real formatter,
// in UTC and the program's fixed formats. Loaded once: it is large.
class SampleValuesTest : public ::testing::Test {
protected:
    struct Served {
        explicit Served(std::shared_ptr<client::image::DirectoryImage> image)
            : client(std::move(image)),
              access(client, messages, feedback),
              formatter(access, formats),
              reader(access, settings, formats) {
            access.SetValueFormatter(&formatter);
        }
        client::image::ImageClient client;
        testing::ScriptedMessagePort messages;
        testing::CountingRunFeedback feedback;
        platform::DateTimeFormats formats;
        settings::AppSettings settings;
        directory::DirectoryAccess access;
        ValueTextFormatter formatter;
        CellTextReader reader;
    };

    static void SetUpTestSuite() {
        auto loaded = client::image::LoadImageFile(std::filesystem::path(VELLRUN_TEST_DATA_DIR) /
                                                   "sample-directory.json");
        ASSERT_NE(loaded.image, nullptr) << loaded.status.error;
        served_ =
            new Served(std::shared_ptr<client::image::DirectoryImage>(std::move(loaded.image)));
    }
    static void TearDownTestSuite() {
        delete served_;
        served_ = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(served_, nullptr);
        ASSERT_EQ(Access().DSStartClient(), 0);
        served_->formats.shortDate = "yyyy-MM-dd";
        served_->formats.longTime = "hh:nn:ss";
        served_->settings = settings::AppSettings{};
        served_->reader.ResetLastResult();
    }
    void TearDown() override {
        for (client::ContextHandle context : contexts_)
            Access().Client().FreeContext(context);
    }

    static directory::DirectoryAccess& Access() { return served_->access; }

    // A typeless context at the top of the tree.
    client::ContextHandle TreeContext(const std::string& tree) {
        client::ContextHandle context{};
        EXPECT_EQ(Access().Client().CreateContext(context), 0);
        contexts_.push_back(context);
        EXPECT_EQ(Access().DSSetContext(context, tree, "[Root]"), 0);
        EXPECT_EQ(Access().DSSetTypeless(context, true), 0);
        return context;
    }

    // The names of the attributes the object holds, in reading order.
    std::vector<std::string> HeldAttributes(client::ContextHandle context,
                                            const std::string& object) {
        client::DirectoryClient& client = Access().Client();
        directory::ScopedBuffer reply(client);
        EXPECT_EQ(reply.Allocate(client::kReadReplySize), 0);
        std::vector<std::string> names;
        int32_t continuation = client::kNoContinuation;
        do {
            const client::Result read =
                client.Read(context, object, client::ReadKind::Names, true, client::BufferHandle{},
                            continuation, reply.Get());
            EXPECT_EQ(read, 0) << object;
            if (read != 0) break;
            uint32_t count = 0;
            EXPECT_EQ(client.GetAttrCount(context, reply.Get(), count), 0);
            for (uint32_t i = 0; i < count; ++i) {
                std::string name;
                uint32_t values = 0;
                client::SyntaxId syntax = 0;
                EXPECT_EQ(client.GetAttrName(context, reply.Get(), name, values, syntax), 0);
                names.push_back(name);
            }
        } while (continuation != client::kNoContinuation);
        return names;
    }

    static Served* served_;
    testing::ScopedTimeZone zone_{"UTC"};
    std::vector<client::ContextHandle> contexts_;
};

SampleValuesTest::Served* SampleValuesTest::served_ = nullptr;

struct Sample {
    const char* object;
    const char* attribute;
    // Whole lines of the cell (several lines joined by CR LF).
    const char* lines;
};

// Names in values come back typeless and without a leading dot, as a typeless
// context asks for them.
const Sample kSamples[] = {
    // --- by syntax ---
    {"OldGateway.Servers.IT.Corp", "Migrated Bindery Data",
     "Migrated Bindery Data [0] 00040001A3F24D48535F4741544557415900"},
    {"admin.IT.Corp", "Group Membership", "IT Staff.IT.Corp\r\nServer Operators.IT.Corp"},
    {"FS1_SYS.Servers.IT.Corp", "Host Resource Name", "SYS"},
    {"admin.IT.Corp", "Title", "Directory Administrator"},
    {"WS-IT-001.Workstations.IT.Corp", "Serial Number", "CNU8171744"},
    {"admin.IT.Corp", "Employee ID", "100 001"},
    {"admin.IT.Corp", "Language", "ENGLISH\r\nDEUTSCH"},
    {"admin.IT.Corp", "Password Required", "TRUE"},
    {"admin.IT.Corp", "Login Disabled", "FALSE"},
    {"admin.IT.Corp", "Login Grace Limit", "3"},
    {"mbrown.Finance.Corp", "Minimum Account Balance", "-500"},
    {"admin.IT.Corp", "Login Allowed Time Map",
     "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
    {"admin.IT.Corp", "Home Phone", "+1 781 555 0143"},
    {"admin.IT.Corp", "Facsimile Telephone Number", "+1 617 555 0199"},
    {"FS1.Servers.IT.Corp", "Network Address",
     "(0) 0A0A0001:000000000001\r\n(1) 10.10.1.10:0\r\n(8) 10.10.1.10:524\r\n"
     "(9) 10.10.1.10:524\r\n(13) fs1.corp.example.com"},
    {"FS2.Servers.IT.Corp", "Network Address",
     "(2) [00000A0A000B020C00000000]\r\n(2) [1F2E81000000000000000000]"},
    {"Corp", "Cross Certificate Pair", "3082010A0282010100C41E779A\r\n3082010A0282010100B703512D"},
    {"admin.IT.Corp", "EMail Address", "SMTP:admin@corp.example.com\r\nCORP_PO.MAIL1:admin"},
    {"admin.IT.Corp", "Home Directory", "(4) FS1_DATA.Servers.IT.Corp:USERS\\ADMIN"},
    {"Corp", "Replica",
     "FS1.Servers.IT.Corp [Master] [Nr: 1]\r\nFS2.Servers.IT.Corp [Secondary] [Nr: 2]\r\n"
     "MAIL1.Servers.IT.Corp [Read-Only] [Nr: 3]"},
    // State bits above the type do not change it.
    {"Sales.Corp", "Replica",
     "FS1.Servers.IT.Corp [Secondary] [Nr: 5]\r\nMAIL1.Servers.IT.Corp [Subordinate Reference] "
     "[Nr: 6]"},
    {"Corp", "ACL",
     "[BCDRAI] admin.IT.Corp / [Entry Rights]\r\n[   R I] [Root] / [Entry Rights]\r\n"
     "[ R    ] [Public] / [All Attributes Rights]\r\n"
     "[BCDRA ] Network Administrator.IT.Corp / [Entry Rights]\r\n[ R    ] [Root] / Login Script\r\n"
     "[ RW  I] Helpdesk.IT.Corp / Telephone Number\r\n[BC R I] [Root] / [Inheritance Mask]"},
    // Six lines; the two empty last ones fall away at the end of the cell.
    {"Corp", "Postal Address",
     "Corp Industries Inc.\r\n1200 Harbor Drive\r\nBoston, MA 02110\r\nUSA"},
    {"Corp", "Partition Creation Time", "2001-03-12 09:14:02"},
    {"admin.IT.Corp", "Object Class", "User"},
    {"Corp", "Login Script",
     "REM Organization login script for all of Corp\nMAP DISPLAY OFF\nMAP ERRORS OFF\n"
     "WRITE \"Good %GREETING_TIME, %FULL_NAME.\"\n"
     "WRITE \"You are logged in to the CORP tree from %STATION.\"\n"
     "MAP INS S1:=FS1_SYS.Servers.IT.Corp:PUBLIC\n"
     "MAP INS S2:=FS1_SYS.Servers.IT.Corp:PUBLIC\\%MACHINE\\%OS\\%OS_VERSION\n"
     "MAP ROOT H:=%HOME_DIRECTORY\nMAP ROOT G:=FS1_DATA.Servers.IT.Corp:SHARED\n"
     "IF DAY_OF_WEEK = \"Friday\" THEN WRITE \"Remember: backups run at 22:00 tonight.\"\n"
     "#CAPTURE Q=Q-IT-LaserJet.IT.Corp NB NT TI=10\nMAP DISPLAY ON\nMAP"},
    {"admin.IT.Corp", "Revision", "412"},
    {"admin.IT.Corp", "Account Balance", "2147483647"},
    {"FS2.Servers.IT.Corp", "Back Link", "FS1.Servers.IT.Corp\r\nMAIL1.Servers.IT.Corp"},
    {"admin.IT.Corp", "Login Time", "2009-10-30 07:58:12"},
    {"admin.IT.Corp", "Last Login Time", "2009-10-29 08:02:40"},
    {"P-IT-LaserJet.IT.Corp", "Notify", "cwashington.IT.Corp#1#30\r\nadmin.IT.Corp#3#120"},
    {"admin.IT.Corp", "Server Holds", "FS1.Servers.IT.Corp (250)\r\nFS2.Servers.IT.Corp (40)"},
    {"admin.IT.Corp", "Password Expiration Interval", "60 days"},
    {"Corp", "Intruder Attempt Reset Interval", "30 min"},
    {"LDAP Server - FS1.Servers.IT.Corp", "supportedExtension",
     "[1F] 312E332E362E312E342E312E313436362E3230303337"},
    {"P-IT-LaserJet.IT.Corp", "Printer Status Code", "[20] 04000000"},
    {"admin.IT.Corp", "corpExtensionData", "[28] 434F525001000200FFFF0010"},

    // --- named octet-string layouts ---
    {"Office Suite.Applications.IT.Corp", "App:GUID", "{4C1F0A92-7E3B-4B8D-A2C5-19E04F6D3B70}"},
    {"FS1.Servers.IT.Corp", "Bindery Property",
     "IDENTIFICATION: FS1 Bindery Services\r\nGROUPS_I'M_IN: 00010A2C00010A3100020F1700030B4E"},
    {"FS2.Servers.IT.Corp", "snmpTrapDescription",
     "Volume FS2_APPS is 90 percent full\r\nDisk mirror group 1 is resynchronising\r\n"
     "Replica of Sales.Corp is out of sync for more than one hour"},
    {"FS1.Servers.IT.Corp", "CA Public Key",
     "[1,30001,8E4F2A61B0C37D9922E5F1A04C6B,800] Corp Organizational CA"},
    {"Field Sales.Corp", "memberQuery",
     "(&(objectClass=User)(title=*Sales*)) - "
     "0100000002000000020000002800260028006F0062006A0065006300740043006C00610073007300"
     "3D005500730065007200290028007400690074006C0065003D002A00530061006C00650073002A0029002900"
     "0000"},
    {"WS-IT-001.Workstations.IT.Corp", "WM:INV DMA",
     "[02,8,1,0] Standard floppy disk controller\r\n[04,16,0,1] Direct memory access controller"},
    {"WS-IT-001.Workstations.IT.Corp", "WM:INV Interrupt",
     "[01,0,1,0] Standard 101/102-Key Keyboard\r\n[06,0,1,0] Standard floppy disk controller\r\n"
     "[0E,0,1,0] Primary IDE Channel\r\n[0B,1,0,16] Intel(R) PRO/100 VE Network Connection"},
    {"WS-IT-001.Workstations.IT.Corp", "WM:INV Port", "[03F8,8,1,0] Communications Port (COM1)"},
    {"WS-IT-001.Workstations.IT.Corp", "WM:INV CPU Information",
     "[3000] Intel(R) Core(TM)2 Duo CPU E8400 @ 3.00GHz"},
    {"WS-IT-001.Workstations.IT.Corp", "WM:INV Shared Memory",
     "[A0000,20000,1,0,0] Video RAM\r\n[FEBF0000,10000,2,1,0] Network adapter buffer"},
    {"WS-IT-001.Workstations.IT.Corp", "WM:INV Volume", "[FA0,1D4C0,B3A1,200,8] C:\\ NTFS"},
    {"admin.IT.Corp", "NGW: Location",
     "[01000C00434F52505F504F0001] CORP_PO.MAIL1.Servers.IT.Corp"},
    {"Office Suite.Applications.IT.Corp", "App:Folder List",
     "(1/4/0) Office Suite\r\n(2/4/1) Office Suite\\Tools"},
    {"Office Suite.Applications.IT.Corp", "App:FS Rights Path",
     "(0/3/15/1) FS2_APPS:OFFICE2003\r\n(1/1/3/0) FS1_DATA:SHARED\\TEMPLATES"},
    {"FS2.Servers.IT.Corp", "bhConfig",
     "[3] Health monitor interval=300;alarm=mail \r\n[7] Disk usage warn=85;critical=95 "},
    {"admin.IT.Corp", "FW0 USER ADD", "admin added by firewall proxy setup, 2006-05-02"},
    // The name at +28 in the first value, at +24 in later ones; only a first value shows an error.
    {"Corp", "Partition Status",
     "FS1.Servers.IT.Corp / Replica 1 / Last Sync:  2009-10-30 07:50:00/ (in sync) \r\n"
     "FS2.Servers.IT.Corp / Replica 2 / Last Sync:  2009-10-30 06:12:00/ (remote error) "},
    {"Sales.Corp", "Partition Status",
     "FS2.Servers.IT.Corp / Replica 4 / Last Sync:  2009-10-30 05:00:00/ (local error) "
     "/ Error FFFFFD8F"},
    {"Corp", "Local Received Up To", "(4AEA9BD4/0001/0031) FS1.Servers.IT.Corp"},
    {"Corp", "Transitive Vector", "(4AEA9BB6/0003/002D) MAIL1.Servers.IT.Corp"},
    {"P-IT-LaserJet.IT.Corp", "Printer Configuration",
     "Parallel (LPT1:) / IRQ 7 / Auto load / Text / Service Interval: 5 / Buffer Size: 16kB / "
     "Starting Form: 0 / Form Change: as needed / Driver Name: HPLJ4050.PDF"},
    {"P-SALES-Matrix.Sales.Corp", "Printer Configuration",
     "Serial (COM2:) / Polling / Manual load / Xon/Xoff  / 9600 bd / 8 Data bits / 1.5 Stop bits "
     "/ even parity / Text / Service Interval: 10 / Buffer Size: 3kB / Starting Form: 0 / "
     "Form Change: minimize within Qs / Driver Name: EPFX880.PDF"},
    {"P-HR-Color.HR.Corp", "Printer Configuration",
     "Apple HR Color Laser LaserWriter (Building 2 Floor 3) / Postscript / Service Interval: 15 "
     "/ Buffer Size: 8kB / Starting Form: 0 / Form Change: as needed / Driver Name: LASERWRT.PDF"},
    {"P-ENG-Plotter.Engineering.Corp", "Printer Configuration",
     "Unix plotsrv.eng.corp.example.com/plotter0 / Postscript / Service Interval: 30 / "
     "Buffer Size: 64kB / Starting Form: 0 / Form Change: never / Driver Name: HPGL2.PDF"},

    // --- entry information ---
    {"admin.IT.Corp", "DSI: Parent", ".IT.Corp"},
    {"admin.IT.Corp", "DSI: Partition Root", ".Corp"},
    {"admin.IT.Corp", "DSI: DN", ".admin.IT.Corp"},
    {"admin.IT.Corp", "DSI: Time Created", "2001-03-12 09:14:05"},
    {"Extranet.Corp", "DSI: Subordinates", "5000"},
};

// True when expected stands in the cell as whole lines.
bool HasLines(const std::string& cell, const std::string& expected) {
    return ("\r\n" + cell + "\r\n").find("\r\n" + expected + "\r\n") != std::string::npos;
}

TEST_F(SampleValuesTest, ValuesOfEverySyntaxAndEveryNamedLayoutReadAsPinned) {
    served_->settings.MaxAttrSizeIndex = 3;  // whole values
    const client::ContextHandle context = TreeContext("CORP");
    for (const Sample& sample : kSamples) {
        const std::string object = directory::DSFullName(sample.object);
        const std::string cell = served_->reader.GetAttrValue(context, object, sample.attribute);
        EXPECT_TRUE(HasLines(cell, sample.lines))
            << sample.object << " / " << sample.attribute << "\n--- cell ---\n"
            << cell << "\n--- expected lines ---\n"
            << sample.lines;
    }
    EXPECT_EQ(served_->reader.LastResult(), 0);
}

// Every object of every tree, every attribute it holds and the six "DSI: "
// names, with value flags, time stamps and the smallest limit, so that every
// path of a cell is taken: no value may fail, throw or leave invalid text.
TEST_F(SampleValuesTest, EveryValueOfTheSampleFormatsWithoutAFault) {
    served_->settings.MaxAttrSizeIndex = 0;
    served_->settings.ShowValueFlags = true;
    served_->settings.ShowTimeStamps = true;

    platform::StringList trees;
    Access().DSScanTrees(trees);
    ASSERT_EQ(trees.Count(), 3u);
    size_t objects = 0;
    size_t cells = 0;
    for (const auto& tree : trees) {
        const client::ContextHandle context = TreeContext(tree.text);
        std::vector<std::string> names{"[Root]"};
        platform::CancelFlag cancel;
        ASSERT_EQ(Access().DSWalkContainer(
                      context, "[Root]", true, cancel,
                      [&names](const std::string& container, const directory::TNDSObj& cursor) {
                          names.push_back(directory::DSComposeName(container, cursor.entryName));
                      },
                      ""),
                  0)
            << tree.text;
        for (const std::string& object : names) {
            ++objects;
            std::vector<std::string> attributes = HeldAttributes(context, object);
            for (std::string_view dsi : CellTextReader::kDsiNames)
                attributes.emplace_back(dsi);
            for (const std::string& attribute : attributes) {
                ++cells;
                const std::string cell = served_->reader.GetAttrValue(context, object, attribute);
                const std::string where = tree.text + ": " + object + " / " + attribute;
                ASSERT_EQ(served_->reader.LastResult(), 0) << where;
                EXPECT_TRUE(platform::IsValidUtf8(cell)) << where;
                EXPECT_EQ(cell.find("Exception reading"), std::string::npos)
                    << where << ": " << cell;
                EXPECT_EQ(cell.find("does not fit syntax"), std::string::npos)
                    << where << ": " << cell;
                EXPECT_EQ(cell.find("Unknown exception"), std::string::npos)
                    << where << ": " << cell;
            }
        }
    }
    EXPECT_GT(objects, 5280u);
    EXPECT_GT(cells, objects * 6);
}

}  // namespace
}  // namespace vellrun::values
