#include "app/InterfaceTexts.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

namespace {

class LibLang : public testing::Test {
 protected:
  void SetUp() override { SetFrenchTexts(); }
  void TearDown() override { SetFrenchTexts(); }
};

struct TextCase {
  int number;
  const char* text;  // UTF-8
};

void ExpectTexts(std::initializer_list<TextCase> cases) {
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(LangText(c.number), QString::fromUtf8(c.text));
  }
}

TEST_F(LibLang, FrenchDefaultsByNumberAndName) {
  EXPECT_EQ(LangTextCount, 55);
  ExpectTexts({
      {0, "Toutes les images"},
      {1, "Images les plus courantes"},
      {7, "Targa"},
      {9, "Impossible d'ouvrir l'image dans le fichier \"%s\" !"},
      {10, "Impossible d'enregistrer l'image dans le fichier \"%s\" !"},
      {11, "Brindlemark Sélection"},
      {13, "Icône"},
      {15, "Fichier de données invalide !"},
      {16, "%dx%d pixels"},
      {17, "Aperçu"},
      {21, "Propriétés de l'image"},
      {22, "Gif animé"},
      {23, "&Oui"},
      {24, "&Non"},
      {25, "Ok"},
      {26, "Annuler"},
      {27, "Avertissement"},
      {30, "Confirmation"},
      {31, "Saisie"},
      {35, "Entrée"},
      {37, "PagePréc"},
      {47, "Maj+"},
      {50, "octet"},
      {51, "octets"},
      {54, "Go"},
  });
  // The names reach the same texts as the numbers.
  EXPECT_EQ(&LangText(lsLoadError), &LangText(9));
  EXPECT_EQ(&LangText(lsKeyEnter), &LangText(35));
  EXPECT_EQ(&LangText(lsAltPrefix), &LangText(49));
  EXPECT_EQ(&LangText(lsGigabytes), &LangText(54));
}

TEST_F(LibLang, NumbersOutsideTheTableAreRefused) {
  for (int bad : {-1, LangTextCount, 1000}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(LangText(bad), std::out_of_range);
    EXPECT_THROW(SetLangText(bad, QStringLiteral("x")), std::out_of_range);
  }
}

TEST_F(LibLang, EnglishSwitchReplacesTheEighteenTexts) {
  SetEnglishTexts();
  ExpectTexts({
      {0, "All images"},
      {1, "Common images"},
      {9, "Unable to load image in file \"%s\" !"},
      {10, "Unable to save image in file \"%s\" !"},
      {16, "%dx%d pixels"},
      {17, "Preview"},
      {21, "Image properties"},
      {23, "&Yes"},
      {24, "&No"},
      {26, "Cancel"},
      {29, "Information"},
      {30, "Confirm"},
      {35, "Enter"},
      {50, "byte"},
      {51, "bytes"},
      {52, "Kb"},
      {53, "Mb"},
      {54, "Gb"},
  });
  // Not switched: they stay French for the whole run.
  ExpectTexts({
      {15, "Fichier de données invalide !"},
      {25, "Ok"},
      {27, "Avertissement"},
      {28, "Erreur"},
      {34, "Echap"},
      {37, "PagePréc"},
      {47, "Maj+"},
  });
}

TEST_F(LibLang, EnglishSwitchAssignsExactlyItsNumbers) {
  const QString marker = QStringLiteral("<marker>");
  for (int i = 0; i < LangTextCount; ++i) SetLangText(i, marker);
  SetEnglishTexts();
  std::set<int> assigned;
  for (int i = 0; i < LangTextCount; ++i)
    if (LangText(i) != marker) assigned.insert(i);
  const std::set<int> expected = {0, 1, 9, 10, 16, 17, 21, 23, 24, 26, 29, 30, 35, 50, 51, 52, 53, 54};
  EXPECT_EQ(assigned.size(), 18u);
  EXPECT_EQ(assigned, expected);
  const auto listed = EnglishTextNumbers();
  EXPECT_EQ(std::set<int>(listed.begin(), listed.end()), expected);
}

TEST_F(LibLang, FrenchTextsComeBack) {
  SetEnglishTexts();
  SetLangText(lsOk, QStringLiteral("changed"));
  SetFrenchTexts();
  ExpectTexts({{0, "Toutes les images"}, {25, "Ok"}, {30, "Confirmation"}, {35, "Entrée"}});
}

}  // namespace
