#include "settings/XmlTree.h"

#include "TempFolder.h"
#include "platform/Exception.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TXmlTree> NewTree() { return std::make_unique<TXmlTree>("XMLDataBase", nullptr, TVariant()); }

std::unique_ptr<TXmlTree> Read(const std::string& text) {
    auto tree = NewTree();
    tree->SetXML(text);
    return tree;
}

}  // namespace

TEST(XmlWriter, EmptyElementsTextAndAttributes) {
    auto tree = NewTree();
    TXmlNode* a = tree->AddChild("a", TVariant());
    a->AddAttribute("k", "v<\"&");
    a->AddAttribute("n", 7);
    a->AddChild("b", "");
    TXmlNode* c = tree->AddChild("c", "say \"<hi>\"");
    c->AddChild("d", true);
    EXPECT_EQ(tree->GetXML(),
              "<a k=\"v<\"&\" n=\"7\">\r\n"
              "  <b />\r\n"
              "</a>\r\n"
              "<c>\r\n"
              "  \"say \"\"&lt;hi&gt;\"\"\"\r\n"
              "  <d>\r\n"
              "    \"True\"\r\n"
              "  </d>\r\n"
              "</c>\r\n");
}

TEST(XmlWriter, MultiLineTextKeepsItsBreaksInsideTheQuotes) {
    auto tree = NewTree();
    tree->AddChild("settings", TVariant())->AddChild("RecentFiles", "/p/a.png\r\n/p/b.jpg\r\n");
    EXPECT_EQ(tree->GetXML(),
              "<settings>\r\n"
              "  <RecentFiles>\r\n"
              "    \"/p/a.png\r\n"
              "/p/b.jpg\r\n"
              "\"\r\n"
              "  </RecentFiles>\r\n"
              "</settings>\r\n");
}

TEST(XmlWriter, CdataModes) {
    auto tree = NewTree();
    TXmlNode* a = tree->AddChild("a", "x<y");
    a->SetCDATA(1);
    TXmlNode* b = tree->AddChild("b", "hidden");
    b->SetCDATA(2);
    EXPECT_EQ(tree->GetXML(), "<a>\r\n  <![CDATA[x<y]]>\r\n</a>\r\n<b>\r\n</b>\r\n");
    EXPECT_EQ(a->WriteXML(2), "    <a>\r\n      <![CDATA[x<y]]>\r\n    </a>\r\n");
}

TEST(XmlNode, FindAndDeleteOnlyDirectChildren) {
    auto tree = NewTree();
    TXmlNode* first = tree->AddChild("x", "1");
    tree->AddChild("x", "2");
    TXmlNode* grandchild = first->AddChild("y", TVariant());
    EXPECT_EQ(tree->FindChild("x"), first);
    EXPECT_EQ(tree->FindChild("X"), nullptr);
    EXPECT_EQ(tree->FindChild("y"), nullptr);
    EXPECT_EQ(tree->DeleteNode(grandchild), nullptr);
    EXPECT_EQ(first->Nodes().size(), 1u);
    EXPECT_EQ(tree->DeleteNode(first), tree.get());
    ASSERT_EQ(tree->Nodes().size(), 1u);
    EXPECT_EQ(tree->Nodes()[0]->Text(), "2");
}

TEST(XmlReader, RoundTripOfAwkwardTexts) {
    for (std::string text : {"a<b>c", "say \"hi\"", "\"", "line1\r\nline2\r\n", " padded ", "a & b", "x]]>y"}) {
        auto tree = NewTree();
        tree->AddChild("v", text)->AddChild("child", TVariant());
        auto back = Read(tree->GetXML());
        ASSERT_EQ(back->Nodes().size(), 1u) << text;
        EXPECT_EQ(back->Nodes()[0]->Text(), text);
        EXPECT_EQ(back->GetXML(), tree->GetXML()) << text;
    }
    // The escape of a text that already looked escaped does not come back.
    auto tree = NewTree();
    tree->AddChild("v", "&lt;");
    EXPECT_EQ(Read(tree->GetXML())->Nodes()[0]->Text(), "&LT;");
}

TEST(XmlReader, AnyLineBreakReadsBackAsCrLf) {
    for (const char* text : {"<v>\"a\nb\n\"</v>", "<v>\"a\rb\r\"</v>", "<v>\r\n\"a\r\nb\r\n\"\r\n</v>\r\n"}) {
        auto tree = Read(text);
        ASSERT_EQ(tree->Nodes().size(), 1u);
        EXPECT_EQ(tree->Nodes()[0]->Text(), "a\r\nb\r\n") << text;
    }
}

TEST(XmlReader, TreeIsRenamedAndRebuiltOnEveryRead) {
    auto tree = Read("<a>\r\n  <b k=\"1\" j = \"two words\" />\r\n</a>\r\n<c />\r\n");
    EXPECT_EQ(tree->Name(), "root");
    ASSERT_EQ(tree->Nodes().size(), 2u);
    const TXmlNode& b = *tree->Nodes()[0]->Nodes()[0];
    EXPECT_EQ(b.Name(), "b");
    EXPECT_EQ(b.ParentNode(), tree->Nodes()[0].get());
    ASSERT_EQ(b.Attributes().size(), 2u);
    EXPECT_EQ(b.Attributes()[1]->Name, "j");
    EXPECT_EQ(b.Attributes()[1]->Value, TVariant("two words"));
    EXPECT_EQ(tree->Nodes()[1]->Name(), "c");
    tree->SetXML("<d/>");
    ASSERT_EQ(tree->Nodes().size(), 1u);
    EXPECT_EQ(tree->Nodes()[0]->Name(), "d/");  // no blank before "/": it stays in the name
    EXPECT_EQ(tree->Tokens(), std::vector<std::string>{"ET:d/"});
}

TEST(XmlReader, EmptyAndBlankDocuments) {
    for (const std::string& text : {std::string(), std::string("  \r\n\t\n\r "), std::string("\0<a />", 6)})
        EXPECT_TRUE(Read(text)->Nodes().empty()) << text;
}

TEST(XmlReader, MalformedTextNeverFails) {
    // Attribute scan ends at a value without both double quotes.
    auto tree = Read("<a x='1' y=\"2\" z=\"3 >");
    ASSERT_EQ(tree->Nodes().size(), 1u);
    const auto& attributes = tree->Nodes()[0]->Attributes();
    ASSERT_EQ(attributes.size(), 1u);
    EXPECT_EQ(attributes[0]->Name, "x");
    EXPECT_EQ(attributes[0]->Value, TVariant("2"));
    // Surplus closing tags stop at the tree; the following element is top-level again.
    tree = Read("</x></y><a>\"t\"</a></a></a><b />");
    ASSERT_EQ(tree->Nodes().size(), 2u);
    EXPECT_EQ(tree->Nodes()[1]->Name(), "b");
    // Text after the last tag goes to the element that is current there.
    tree = Read("<a>\r\n<b />\r\n trailing\r\n\ttext ");
    EXPECT_EQ(tree->Nodes()[0]->Text(), "trailing  text");  // CR LF and TAB each become a blank
    // Text outside every element is the tree's own and never written.
    tree = Read("loose<a />");
    EXPECT_EQ(tree->Text(), "loose");
    EXPECT_EQ(tree->GetXML(), "<a />\r\n");
}

TEST(XmlReader, CdataLosesBreaksAndKeepsItsMode) {
    auto tree = Read("<a><![cdata[one\r\n\ttwo <b> \"q\"]]></a>");
    const TXmlNode& a = *tree->Nodes()[0];
    EXPECT_EQ(a.Text(), "onetwo <b> \"q\"");
    EXPECT_EQ(a.CDATA(), 1);
    EXPECT_TRUE(a.Nodes().empty());
    // A later quoted text replaces it and switches back to quoting.
    tree = Read("<a><![CDATA[x]]>\"y\"</a>");
    EXPECT_EQ(tree->Nodes()[0]->Text(), "y");
    EXPECT_EQ(tree->Nodes()[0]->CDATA(), 0);
}

TEST(XmlReader, DeepNestingIsFlattenedBelowTheLimit) {
    const int depth = 5000;
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<a>";
    text += "<leaf />";
    for (int i = 0; i < depth; ++i) text += "</a>";
    text += "<after />";
    auto tree = Read(text);
    ASSERT_EQ(tree->Nodes().size(), 2u);
    EXPECT_EQ(tree->Nodes()[1]->Name(), "after");
    int levels = 0;
    const TXmlNode* node = tree.get();
    while (!node->Nodes().empty()) {
        node = node->Nodes().front().get();
        ++levels;
    }
    EXPECT_LE(levels, TXmlTree::MaxDepth + 1);
    EXPECT_LT(tree->GetXML().size(), 10u * 1000 * 1000);
}

TEST(Dequote, QuotedTexts) {
    EXPECT_EQ(Dequote("plain"), "plain");
    EXPECT_EQ(Dequote("\"a\"\"b\"tail"), "a\"b");
    EXPECT_EQ(Dequote("\"open"), "open");
    EXPECT_EQ(Dequote("\"\""), "\"\"");  // an empty result gives the text back
    EXPECT_EQ(Dequote(""), "");
}

TEST(XmlFile, UnreadableFileFailsNamingItAndLeavesTheTreeEmpty) {
    TTempFolder folder;
    auto tree = Read("<old />");
    for (std::string name : {folder / "missing.xdb", folder.Path().string()}) {
        try {
            tree->LoadFromFile(name);
            FAIL() << "no error for " << name;
        } catch (const EFOpenError& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
        EXPECT_TRUE(tree->Nodes().empty());
    }
}
