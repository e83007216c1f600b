#include "UiTestSupport.h"
#include "directory/DirectoryAccess.h"
#include "support/CountingRunFeedback.h"
#include "support/DirectoryTestBed.h"
#include "support/ImageFixture.h"
#include "support/SpyClient.h"
#include "ui/ClassImages.h"
#include "ui/DialogScript.h"
#include "ui/QtMessagePort.h"
#include "ui/QtRunFeedback.h"
#include "ui/TTreeFrame.h"

#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::ui {
namespace {

using testing::ClickItem;

// ZULU comes first in the image, so only sorting puts ALPHA on top.
std::string TwoTrees() {
    return testing::TreesImage({
        {"ZULU", R"([
          {"name": "Corp", "class": "Organization"},
          {"name": "Other", "class": "Organization"},
          {"name": "Sales.Corp", "class": "Organizational Unit"}])"},
        {"ALPHA", R"([
          {"name": "Lab", "class": "Organization"},
          {"name": "Bench.Lab", "class": "Organizational Unit"}])"},
    });
}

std::vector<std::string> ChildTexts(const QTreeWidgetItem* node) {
    std::vector<std::string> texts;
    for (int i = 0; i < node->childCount(); ++i) {
        texts.push_back(node->child(i)->text(0).toStdString());
    }
    return texts;
}

std::vector<std::string> TopTexts(const QTreeWidget& view) {
    std::vector<std::string> texts;
    for (int i = 0; i < view.topLevelItemCount(); ++i) {
        texts.push_back(view.topLevelItem(i)->text(0).toStdString());
    }
    return texts;
}

QTreeWidgetItem* Child(QTreeWidgetItem* node, const std::string& text) {
    for (int i = 0; i < node->childCount(); ++i) {
        if (node->child(i)->text(0).toStdString() == text) return node->child(i);
    }
    return nullptr;
}

bool ShowsExpander(const QTreeWidgetItem* node) {
    return node->childCount() > 0 || node->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator;
}

// A frame over an inline image, typeless names off as the main window has them.
template <typename Feedback>
class FrameBed {
public:
    explicit FrameBed(const std::string& json)
        : client(testing::StartImageClient(json)), access(*client, messages, feedback) {
        DialogScript::Begin();
        EXPECT_EQ(access.DSStartClient(), 0);
        frame = std::make_unique<TTreeFrame>(access);
        frame->SetTypeLessNames(false);
        frame->resize(300, 400);
        frame->show();
    }
    ~FrameBed() {
        frame.reset();
        DialogScript::End();
    }

    QTreeWidget& View() { return *frame->TreeView(); }
    uint64_t ListPages() const { return client->Statistics().listPages; }

    std::unique_ptr<client::image::ImageClient> client;
    QtMessagePort messages;
    Feedback feedback;
    directory::DirectoryAccess access;
    platform::StringList lines;
    std::unique_ptr<TTreeFrame> frame;
};

TEST(TTreeFrameTest, ShowsEveryTreeSortedAndListsNothingUntilAsked) {
    FrameBed<QtRunFeedback> bed(TwoTrees());
    bed.frame->Initialize(&bed.lines);

    EXPECT_EQ(TopTexts(bed.View()), (std::vector<std::string>{"ALPHA", "ZULU"}));
    ASSERT_EQ(bed.frame->TreeCount(), 2u);
    for (QTreeWidgetItem* root : {bed.View().topLevelItem(0), bed.View().topLevelItem(1)}) {
        const TNodeInfo info = bed.frame->GetNodeInfo(root);
        ASSERT_NE(info.tree, nullptr);
        EXPECT_EQ(info.tree->treeName, info.text);
        EXPECT_EQ(info.fullName, "[Root]");
        EXPECT_NE(info.tree->objectContext, client::ContextHandle{});
        EXPECT_NE(info.tree->rootContext, client::ContextHandle{});
        EXPECT_EQ(info.tree->rootNode, reinterpret_cast<directory::NodeHandle>(root));
        EXPECT_EQ(root->childCount(), 0);
        EXPECT_TRUE(ShowsExpander(root));
        EXPECT_FALSE(root->isExpanded());
        EXPECT_FALSE(root->icon(0).isNull());
    }
    // With two trees nothing is read until the person acts; the top tree is selected.
    EXPECT_EQ(bed.ListPages(), 0u);
    EXPECT_TRUE(bed.lines.Empty());
    EXPECT_EQ(bed.frame->GetCurrentNode(), bed.View().topLevelItem(0));

    // Typeless names reach both contexts of every tree, whenever they change.
    const auto typelessEverywhere = [&bed](bool on) {
        for (size_t k = 0; k < bed.frame->TreeCount(); ++k) {
            const directory::TTreeInfo& tree = bed.frame->Tree(k);
            for (client::ContextHandle context : {tree.objectContext, tree.rootContext}) {
                uint32_t flags = 0;
                EXPECT_EQ(bed.client->GetContextNumber(context, client::ContextKey::Flags, flags),
                          0);
                if (((flags & client::ContextFlag::Typeless) != 0) != on) return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(typelessEverywhere(false));
    bed.frame->SetTypeLessNames(true);
    EXPECT_TRUE(typelessEverywhere(true));

    // Showing trees again frees the old contexts and opens new ones, with the
    // names as they are set now.
    bed.frame->Initialize(&bed.lines);
    EXPECT_EQ(TopTexts(bed.View()), (std::vector<std::string>{"ALPHA", "ZULU"}));
    EXPECT_TRUE(typelessEverywhere(true));
    bed.frame->SetTypeLessNames(false);
    EXPECT_TRUE(typelessEverywhere(false));
}

TEST(TTreeFrameTest, ListsContainersIntoChildNodesAndEntryLines) {
    FrameBed<QtRunFeedback> bed(testing::TreesImage({{"CORP", testing::CorpObjects()}}));
    int changes = 0;
    QObject::connect(bed.frame.get(), &TTreeFrame::EntryLinesChanged, [&changes] { ++changes; });
    bed.frame->Initialize(&bed.lines);

    // A single tree is expanded and its top listed at once.
    QTreeWidgetItem* root = bed.View().topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(root->isExpanded());
    EXPECT_EQ(ChildTexts(root), std::vector<std::string>{"Corp"});
    EXPECT_EQ(bed.lines.Texts(), std::vector<std::string>{"Organization: Corp"});
    EXPECT_GT(changes, 0);

    QTreeWidgetItem* corp = Child(root, "Corp");
    ASSERT_NE(corp, nullptr);
    EXPECT_EQ(bed.frame->GetNodeInfo(corp).fullName, ".Corp");
    EXPECT_TRUE(ShowsExpander(corp));
    EXPECT_EQ(corp->childCount(), 0);

    // A click lists the container: subordinate containers become sorted child
    // nodes, every subordinate becomes an entry line.
    ClickItem(bed.View(), corp);
    EXPECT_EQ(ChildTexts(corp), (std::vector<std::string>{"IT", "Sales"}));
    EXPECT_EQ(bed.frame->GetNodeInfo(Child(corp, "Sales")).fullName, ".Sales.Corp");
    EXPECT_EQ(bed.frame->CurrentNode().node, corp);
    EXPECT_TRUE(bed.lines.Contains("Organizational Unit: Sales"));
    EXPECT_TRUE(bed.lines.Contains("Organizational Unit: IT"));
    EXPECT_EQ(bed.lines.Count(), 2u);
    EXPECT_EQ(bed.lines.Number(*bed.lines.IndexOf("Organizational Unit: IT")),
              static_cast<int64_t>(std::string("Organizational Unit: ").size()));

    // Expanding lists too, and selects the node.
    QTreeWidgetItem* sales = Child(corp, "Sales");
    bed.View().expandItem(corp);
    bed.View().expandItem(sales);
    EXPECT_EQ(bed.frame->GetCurrentNode(), sales);
    EXPECT_EQ(ChildTexts(sales), std::vector<std::string>{"East"});
    EXPECT_EQ(bed.frame->GetNodeInfo(Child(sales, "East")).fullName, ".East.Sales.Corp");
    for (const char* line :
         {"User: jdoe", "Group: staff", "Alias: jalias", "Organizational Unit: East"}) {
        EXPECT_TRUE(bed.lines.Contains(line)) << line;
    }

    // A container that holds only objects shows no expander once listed.
    QTreeWidgetItem* it = Child(corp, "IT");
    ClickItem(bed.View(), it);
    EXPECT_EQ(bed.lines.Texts(), std::vector<std::string>{"User: admin"});
    EXPECT_EQ(it->childCount(), 0);
    EXPECT_FALSE(ShowsExpander(it));

    // Clicking a listed container refreshes its lines and keeps its nodes.
    ClickItem(bed.View(), corp);
    EXPECT_EQ(ChildTexts(corp), (std::vector<std::string>{"IT", "Sales"}));
    EXPECT_EQ(bed.lines.Count(), 2u);
    EXPECT_EQ(bed.feedback.BusyDepth(), 0);
}

// Moving to a node with the keys chooses it as a click does: listed and
// reported. Every choice lists its node once: a press that moves the current
// item leaves the listing to its click, and expanding the node just listed
// reads nothing again.
TEST(TTreeFrameTest, KeysChooseANodeAsAClickDoesAndEachChoiceListsOnce) {
    FrameBed<QtRunFeedback> bed(TwoTrees());
    int clicks = 0;
    QObject::connect(bed.frame.get(), &TTreeFrame::TreeViewClick, [&clicks] { ++clicks; });
    bed.frame->Initialize(&bed.lines);
    QTreeWidgetItem* alpha = bed.View().topLevelItem(0);
    QTreeWidgetItem* zulu = bed.View().topLevelItem(1);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(bed.ListPages(), 0u);

    ClickItem(bed.View(), zulu);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(ChildTexts(zulu), (std::vector<std::string>{"Corp", "Other"}));
    // Clicking the current node lists it again: the pages one listing takes.
    uint64_t pages = bed.ListPages();
    ClickItem(bed.View(), zulu);
    const uint64_t pagesPerListing = bed.ListPages() - pages;
    EXPECT_GT(pagesPerListing, 0u);
    EXPECT_EQ(clicks, 2);

    bed.View().setFocus();
    QTest::keyClick(&bed.View(), Qt::Key_Up);
    EXPECT_EQ(bed.frame->CurrentNode().node, alpha);
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(ChildTexts(alpha), std::vector<std::string>{"Lab"});
    EXPECT_EQ(bed.lines.Texts(), std::vector<std::string>{"Organization: Lab"});

    pages = bed.ListPages();
    QTest::keyClick(&bed.View(), Qt::Key_Right);
    EXPECT_TRUE(alpha->isExpanded());
    EXPECT_EQ(bed.ListPages(), pages);
    EXPECT_EQ(clicks, 3);

    QTest::keyClick(&bed.View(), Qt::Key_Down);
    EXPECT_EQ(bed.frame->CurrentNode().fullName, ".Lab");
    EXPECT_EQ(clicks, 4);
    EXPECT_EQ(bed.lines.Texts(), std::vector<std::string>{"Organizational Unit: Bench"});

    // A click that moves the current item lists its node once.
    pages = bed.ListPages();
    ClickItem(bed.View(), zulu);
    EXPECT_EQ(bed.ListPages() - pages, pagesPerListing);
    EXPECT_EQ(clicks, 5);
    EXPECT_EQ(bed.frame->CurrentNode().node, zulu);
    EXPECT_EQ(bed.lines.Count(), 2u);
}

// A click that arrives while a listing pumps events must not start a second
// listing inside the first: it cancels the running one, and the clicked node
// is listed once that has stopped. The cancelled container stays unlisted.
TEST(TTreeFrameTest, ClickDuringListingCancelsItInsteadOfNesting) {
    // Once before the listing has taken an entry, once in the middle of it.
    for (const size_t linesBeforeClick : {size_t{0}, size_t{1}}) {
        SCOPED_TRACE(linesBeforeClick);
        FrameBed<testing::CountingRunFeedback> bed(TwoTrees());
        bed.frame->Initialize(&bed.lines);
        QCoreApplication::processEvents();
        QTreeWidgetItem* alpha = bed.View().topLevelItem(0);
        QTreeWidgetItem* zulu = bed.View().topLevelItem(1);

        // Armed when the listing of ZULU empties the lines, fired at the first
        // pump after that which sees enough lines.
        bool armed = false;
        bool clicked = false;
        QObject::connect(bed.frame.get(), &TTreeFrame::EntryLinesChanged, [&] {
            if (bed.lines.Empty() && !clicked) armed = true;
        });
        bed.feedback.onEvent = [&](int) {
            if (!armed || clicked || bed.lines.Count() < linesBeforeClick) return;
            clicked = true;
            const uint64_t pages = bed.ListPages();
            ClickItem(bed.View(), alpha);
            EXPECT_EQ(bed.ListPages(), pages) << "a second listing ran inside the first";
            EXPECT_EQ(alpha->childCount(), 0);
            EXPECT_EQ(bed.frame->CurrentNode().node, alpha);
        };
        ClickItem(bed.View(), zulu);
        ASSERT_TRUE(clicked);

        EXPECT_EQ(zulu->childCount(), 0);
        EXPECT_TRUE(ShowsExpander(zulu));
        EXPECT_EQ(ChildTexts(alpha), std::vector<std::string>{"Lab"});
        EXPECT_EQ(bed.lines.Texts(), std::vector<std::string>{"Organization: Lab"});
        EXPECT_FALSE(bed.frame->Busy());
        EXPECT_EQ(bed.feedback.depth, 0);

        // The cancelled tree lists in full on its next click.
        bed.feedback.onEvent = nullptr;
        ClickItem(bed.View(), zulu);
        EXPECT_EQ(ChildTexts(zulu), (std::vector<std::string>{"Corp", "Other"}));
        EXPECT_EQ(bed.lines.Count(), 2u);
    }
}

}  // namespace
}  // namespace vellrun::ui

namespace vellrun::ui {
namespace {

std::string ManyEntries(size_t count) {
    std::string objects = R"([{"name": "Corp", "class": "Organization"},
        {"name": "Big.Corp", "class": "Organizational Unit"},
        {"name": "Small.Corp", "class": "Organizational Unit"},
        {"name": "one.Small.Corp", "class": "User"})";
    for (size_t k = 0; k < count; ++k)
        objects += ",\n{\"name\": \"u" + std::to_string(k) + ".Big.Corp\", \"class\": \"User\"}";
    return objects + "]";
}

// The class images are drawn for the screen they are shown on: at a device
// pixel ratio of 2 an image is 32 device pixels square, drawn anew there and
// not a 16-pixel one enlarged. Their lines stand out from a dark view's
// background as from a light one's, where they stay dark grey.
TEST(TTreeFrameTest, ClassImagesAreSharpOnAScaledScreenAndVisibleOnADarkView) {
    const QPixmap scaled = ClassImages::Icon(ClassImages::kTop).pixmap(QSize(16, 16), 2.0);
    ASSERT_EQ(scaled.size(), QSize(32, 32));
    EXPECT_EQ(scaled.devicePixelRatio(), 2.0);
    // An enlarged 16-pixel image repeats each of its pixels in a 2x2 block.
    const QImage image = scaled.toImage();
    int blocks = 0;
    for (int y = 0; y < 32; y += 2) {
        for (int x = 0; x < 32; x += 2) {
            const QRgb corner = image.pixel(x, y);
            if (image.pixel(x + 1, y) != corner || image.pixel(x, y + 1) != corner ||
                image.pixel(x + 1, y + 1) != corner)
                ++blocks;
        }
    }
    EXPECT_GT(blocks, 20);

    // How far the Country flag's pole, alone below the flag, stands out from
    // the background it is drawn on.
    const auto poleContrast = [](const QColor& base, const QColor& text, QColor* pole) {
        QPalette palette = QGuiApplication::palette();
        palette.setColor(QPalette::Base, base);
        palette.setColor(QPalette::Text, text);
        const QPalette before = QGuiApplication::palette();
        QApplication::setPalette(palette);
        const QImage flag = ClassImages::Icon(1).pixmap(QSize(16, 16), 2.0).toImage();
        QApplication::setPalette(before);
        double most = 0;
        for (int x = 0; x < 12; ++x) {
            const QColor at = flag.pixelColor(x, 24);
            const double contrast = at.alphaF() * std::abs(at.lightness() - base.lightness());
            if (contrast > most) {
                most = contrast;
                *pole = at;
            }
        }
        return most;
    };
    QColor pole;
    EXPECT_GT(poleContrast(QColor(30, 30, 30), QColor(230, 230, 230), &pole), 100);
    EXPECT_GT(poleContrast(Qt::white, Qt::black, &pole), 100);
    EXPECT_EQ(pole.rgb(), QColor(40, 40, 40).rgb());
}

TEST(TTreeFrameTest, ClassImagesReloadLeavesAndTheTreeLimit) {
    // Fifteen pictures that differ from each other at 16 px.
    for (int a = 0; a < ClassImages::kCount; ++a) {
        const QImage first = ClassImages::Icon(a).pixmap(16, 16).toImage();
        for (int b = a + 1; b < ClassImages::kCount; ++b)
            EXPECT_NE(first, ClassImages::Icon(b).pixmap(16, 16).toImage()) << a << " " << b;
    }
    EXPECT_EQ(ClassImages::IndexOf("user", false), 8);
    EXPECT_EQ(ClassImages::IndexOf("ORGANIZATIONAL UNIT", true), 4);
    EXPECT_EQ(ClassImages::IndexOf("Printer", true), ClassImages::kOtherContainer);
    EXPECT_EQ(ClassImages::IndexOf("Printer", false), ClassImages::kOtherObject);

    FrameBed<QtRunFeedback> bed(testing::TreesImage({{"CORP", testing::CorpObjects()}}));
    bed.frame->SetShowLeafNodes(true);
    bed.frame->Initialize(&bed.lines);
    QTreeWidgetItem* root = bed.View().topLevelItem(0);
    QTreeWidgetItem* corp = Child(root, "Corp");
    ASSERT_NE(corp, nullptr);
    const auto iconOf = [](QTreeWidgetItem* node) {
        return node->icon(0).pixmap(16, 16).toImage();
    };
    EXPECT_EQ(iconOf(root), ClassImages::Icon(ClassImages::kTop).pixmap(16, 16).toImage());
    EXPECT_EQ(iconOf(corp), ClassImages::Icon(3).pixmap(16, 16).toImage());
    ClickItem(bed.View(), corp);
    QTreeWidgetItem* sales = Child(corp, "Sales");
    EXPECT_EQ(iconOf(sales), ClassImages::Icon(4).pixmap(16, 16).toImage());
    // Leaves: the objects of a listed container, without expanders.
    ClickItem(bed.View(), sales);
    QTreeWidgetItem* jdoe = Child(sales, "jdoe");
    ASSERT_NE(jdoe, nullptr);
    EXPECT_EQ(iconOf(jdoe), ClassImages::Icon(8).pixmap(16, 16).toImage());
    EXPECT_FALSE(ShowsExpander(jdoe));
    EXPECT_EQ(bed.frame->GetNodeInfo(jdoe).fullName, ".jdoe.Sales.Corp");

    // "Refresh" forgets the nodes below and lists the container afresh.
    QTreeWidgetItem* east = Child(sales, "East");
    ASSERT_NE(east, nullptr);
    bed.frame->NodeReloadSubordinates(sales);
    EXPECT_EQ(bed.frame->CurrentNode().node, sales);
    EXPECT_TRUE(sales->isExpanded());
    EXPECT_NE(Child(sales, "East"), nullptr);
    EXPECT_NE(Child(sales, "jdoe"), nullptr);
    EXPECT_TRUE(bed.lines.Contains("User: jdoe"));

    // The path to a remembered container is listed and expanded on the way down.
    bed.frame->Initialize(&bed.lines);
    EXPECT_TRUE(bed.frame->SelectPath("corp", ".East.Sales.Corp"));
    EXPECT_EQ(bed.frame->CurrentNode().fullName, ".East.Sales.Corp");
    EXPECT_TRUE(bed.lines.Contains("User: asmith"));
    EXPECT_FALSE(bed.frame->SelectPath("NOWHERE", "[Root]"));

    // At most 31 trees are shown.
    std::vector<std::pair<std::string, std::string>> trees;
    for (int k = 0; k < 33; ++k)
        trees.emplace_back("T" + std::to_string(100 + k), "[]");
    FrameBed<QtRunFeedback> many(testing::TreesImage(trees));
    many.frame->Initialize(&many.lines);
    EXPECT_EQ(many.frame->TreeCount(), TTreeFrame::kMaxTrees);
    EXPECT_EQ(many.View().topLevelItemCount(), 31);
}

// A click on another container while a 5,000-entry listing runs stops that
// listing at once (its flag is seen at the next entry) and leaves it
// unlisted; the cancel timer stops itself once the listing has ended. The
// clicked container's listing, though slower than a tick of that timer, is
// not cancelled by it.
TEST(TTreeFrameTest, ClickOnAnotherContainerStopsALongListing) {
    FrameBed<testing::CountingRunFeedback> bed(testing::TreesImage({{"CORP", ManyEntries(5000)}}));
    bed.frame->Initialize(&bed.lines);
    QTreeWidgetItem* corp = Child(bed.View().topLevelItem(0), "Corp");
    ClickItem(bed.View(), corp);
    QTreeWidgetItem* big = Child(corp, "Big");
    QTreeWidgetItem* small = Child(corp, "Small");
    ASSERT_NE(big, nullptr);
    ASSERT_NE(small, nullptr);

    size_t linesAtClick = 0;
    bool timerWhileBusy = false;
    bool waited = false;
    // The person clicks while the listing pumps events.
    bed.feedback.onEvent = [&](int) {
        if (linesAtClick > 0 && bed.frame->Busy() && bed.lines.Empty() && !waited) {
            // The clicked container's listing has begun: it runs for as long
            // as a cancel timer left running would take to tick.
            waited = true;
            EXPECT_TRUE(testing::ProcessEventsUntil(
                [&] { return !bed.frame->CancelTimerActive() || bed.frame->CancelRequested(); },
                10000));
            return;
        }
        if (linesAtClick > 0 || !bed.frame->Busy() || bed.lines.Count() < 200) return;
        linesAtClick = bed.lines.Count();
        ClickItem(bed.View(), small);
        timerWhileBusy = bed.frame->CancelTimerActive();
    };
    ClickItem(bed.View(), big);
    bed.feedback.onEvent = nullptr;
    ASSERT_GT(linesAtClick, 0u);
    EXPECT_TRUE(timerWhileBusy);
    EXPECT_TRUE(waited);
    EXPECT_FALSE(bed.frame->Busy());
    // The clicked container has been listed once the long one stopped.
    EXPECT_EQ(bed.lines.Texts(), std::vector<std::string>{"User: one"});
    EXPECT_EQ(big->childCount(), 0);
    EXPECT_TRUE(testing::ProcessEventsUntil([&] { return !bed.frame->CancelTimerActive(); }, 1000));
}

// A container of 20,000 containers, listed in an order of its own: each
// becomes a child node, in sorted order, with the image of its own class
// taken from the entry lines, not read one by one.
TEST(TTreeFrameTest, AListingOfManyContainersGivesEachItsOwnClassImage) {
    constexpr int kCount = 20000;
    const auto classOf = [](int k) { return k % 3 == 0 ? "Organization" : "Organizational Unit"; };
    std::string objects = R"([{"name": "Corp", "class": "Organization"},
        {"name": "Big.Corp", "class": "Organizational Unit"})";
    for (int k = kCount; k-- > 0;)
        objects += ",{\"name\": \"c" + std::to_string(k) + ".Big.Corp\", \"class\": \"" +
                   classOf(k) + "\"}";
    FrameBed<QtRunFeedback> bed(testing::TreesImage({{"CORP", objects + "]"}}));
    bed.frame->Initialize(&bed.lines);
    ClickItem(bed.View(), Child(bed.View().topLevelItem(0), "Corp"));
    QTreeWidgetItem* big = Child(Child(bed.View().topLevelItem(0), "Corp"), "Big");
    ASSERT_NE(big, nullptr);
    const uint64_t reads = bed.client->Statistics().readPages;
    ClickItem(bed.View(), big);
    ASSERT_EQ(big->childCount(), kCount);
    for (int i = 0; i < kCount; ++i) {
        const std::string text = big->child(i)->text(0).toStdString();
        ASSERT_TRUE(i == 0 || big->child(i - 1)->text(0).compare(big->child(i)->text(0),
                                                                 Qt::CaseInsensitive) < 0);
        ASSERT_EQ(big->child(i)->data(0, Qt::UserRole + 2).toInt(),
                  ClassImages::IndexOf(classOf(std::stoi(text.substr(1))), true))
            << text;
    }
    EXPECT_EQ(bed.client->Statistics().readPages, reads);
}

// Right, pressed again and again, goes down a chain of nested containers
// however deep, each one listed and reported as chosen; a name wider than
// the view is reached with the horizontal scroll bar. Left comes back up.
TEST(TTreeFrameTest, RightGoesDownADeepChainAndLeftComesBack) {
    constexpr int kDepth = 40;
    std::string objects = R"([{"name": "Odd", "class": "Organization"})";
    std::string fullName = "Odd";
    for (int level = 1; level <= kDepth; ++level) {
        fullName =
            QStringLiteral("L%1.").arg(level, 2, 10, QLatin1Char('0')).toStdString() + fullName;
        objects += R"(, {"name": ")" + fullName + R"(", "class": "Organizational Unit"})";
    }
    objects += "]";
    FrameBed<QtRunFeedback> bed(testing::TreesImage({{"ODD", objects}}));
    int clicks = 0;
    QObject::connect(bed.frame.get(), &TTreeFrame::TreeViewClick, [&clicks] { ++clicks; });
    bed.frame->Initialize(&bed.lines);
    bed.View().setFocus();

    // The tree's top is listed and expanded: Right moves to Odd, then each
    // Right expands the current container (listed already) or moves into it.
    std::string expected = "";
    for (int level = 0; level <= kDepth; ++level) {
        const std::string text =
            level == 0 ? std::string("Odd")
                       : QStringLiteral("L%1").arg(level, 2, 10, QLatin1Char('0')).toStdString();
        expected = "." + text + expected;
        QTest::keyClick(&bed.View(), Qt::Key_Right);
        if (level > 0) QTest::keyClick(&bed.View(), Qt::Key_Right);
        ASSERT_EQ(bed.frame->CurrentNode().fullName, expected) << "level " << level;
        ASSERT_EQ(bed.frame->GetCurrentNode(), bed.frame->CurrentNode().node) << "level " << level;
        // The node is on view, scrolled to as far as needed.
        const QRect shown = bed.View().visualItemRect(bed.frame->GetCurrentNode());
        ASSERT_TRUE(bed.View().viewport()->rect().intersects(shown)) << "level " << level;
    }
    EXPECT_EQ(clicks, kDepth + 1);
    EXPECT_GT(bed.View().horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(bed.lines.Count(), 0u);

    // The deepest holds nothing: Left goes to its container at once.
    QTest::keyClick(&bed.View(), Qt::Key_Left);
    EXPECT_EQ(bed.frame->CurrentNode().fullName, expected.substr(expected.find('.', 1)));
    EXPECT_EQ(clicks, kDepth + 2);
}

// A tree that the list names but whose context cannot be set (no tree has
// that name) shows nothing of its own, and above all not the tree the
// contexts start on; the frame says why.
TEST(TTreeFrameTest, ATreeWhoseContextCannotBeSetStaysEmpty) {
    FrameBed<QtRunFeedback> bed(TwoTrees());
    platform::StringList names;
    names.Add("ZULU");
    names.Add("MISSING");
    bed.frame->InitializeWithTreeList(names, &bed.lines);
    QTreeWidgetItem* missing = bed.View().topLevelItem(0);
    ASSERT_EQ(missing->text(0).toStdString(), "MISSING");
    EXPECT_FALSE(ShowsExpander(missing));
    EXPECT_NE(bed.frame->TreeFault(bed.frame->GetNodeInfo(missing).tree).find("MISSING"),
              std::string::npos);
    EXPECT_TRUE(
        bed.frame->TreeFault(bed.frame->GetNodeInfo(bed.View().topLevelItem(1)).tree).empty());

    ClickItem(bed.View(), missing);
    bed.View().expandItem(missing);
    EXPECT_EQ(bed.frame->CurrentNode().node, missing);
    EXPECT_EQ(missing->childCount(), 0);
    EXPECT_TRUE(bed.lines.Empty());
    EXPECT_EQ(bed.ListPages(), 0u);

    ClickItem(bed.View(), bed.View().topLevelItem(1));
    EXPECT_EQ(bed.lines.Texts(),
              (std::vector<std::string>{"Organization: Corp", "Organization: Other"}));
}

// A listing the directory fails (the server has gone) says so and leaves
// the container unlisted, instead of showing it as empty for good.
TEST(TTreeFrameTest, AFailedListingSaysSoAndIsListedAgainLater) {
    auto image = testing::StartImageClient(testing::TreesImage({{"CORP", testing::CorpObjects()}}));
    testing::SpyClient spy(*image);
    QtMessagePort messages;
    QtRunFeedback feedback;
    DialogScript::Begin();
    directory::DirectoryAccess access(spy, messages, feedback);
    ASSERT_EQ(access.DSStartClient(), 0);
    platform::StringList lines;
    TTreeFrame frame(access);
    frame.SetTypeLessNames(false);
    frame.Initialize(&lines);
    QTreeWidgetItem* corp = Child(frame.TreeView()->topLevelItem(0), "Corp");
    ASSERT_NE(corp, nullptr);

    spy.onListSubordinates = [](client::ContextHandle, std::string_view, int32_t&,
                                client::BufferHandle) { return client::Err::TransportFailure; };
    ClickItem(*frame.TreeView(), corp);
    EXPECT_NE(frame.ListingFault().find("Transport failure"), std::string::npos)
        << frame.ListingFault();
    EXPECT_TRUE(ShowsExpander(corp));
    EXPECT_EQ(corp->childCount(), 0);

    spy.onListSubordinates = nullptr;
    ClickItem(*frame.TreeView(), corp);
    EXPECT_TRUE(frame.ListingFault().empty());
    EXPECT_EQ(ChildTexts(corp), (std::vector<std::string>{"IT", "Sales"}));
    DialogScript::End();
}

}  // namespace
}  // namespace vellrun::ui
