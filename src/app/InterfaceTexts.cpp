// Unit LibLang.
#include "app/InterfaceTexts.h"

#include <array>
#include <stdexcept>
#include <string>

namespace {

using TTexts = std::array<QString, LangTextCount>;

TTexts FrenchTexts() {
  return {
      QStringLiteral("Toutes les images"),
      QStringLiteral("Images les plus courantes"),
      QStringLiteral("BMP"),
      QStringLiteral("RLE"),
      QStringLiteral("GIF"),
      QStringLiteral("JPEG"),
      QStringLiteral("PNG"),
      QStringLiteral("Targa"),
      QStringLiteral("TIFF"),
      QStringLiteral("Impossible d'ouvrir l'image dans le fichier \"%s\" !"),
      QStringLiteral("Impossible d'enregistrer l'image dans le fichier \"%s\" !"),
      QStringLiteral("Brindlemark Sélection"),
      QStringLiteral("Brindlemark Image"),
      QStringLiteral("Icône"),
      QStringLiteral("AVI"),
      QStringLiteral("Fichier de données invalide !"),
      QStringLiteral("%dx%d pixels"),
      QStringLiteral("Aperçu"),
      QStringLiteral("(Vide)"),
      QStringLiteral("RVBA (couche Alpha)"),
      QStringLiteral("Transparence"),
      QStringLiteral("Propriétés de l'image"),
      QStringLiteral("Gif animé"),
      QStringLiteral("&Oui"),
      QStringLiteral("&Non"),
      QStringLiteral("Ok"),
      QStringLiteral("Annuler"),
      QStringLiteral("Avertissement"),
      QStringLiteral("Erreur"),
      QStringLiteral("Information"),
      QStringLiteral("Confirmation"),
      QStringLiteral("Saisie"),
      QStringLiteral("RetArr"),
      QStringLiteral("Tab"),
      QStringLiteral("Echap"),
      QStringLiteral("Entrée"),
      QStringLiteral("Espace"),
      QStringLiteral("PagePréc"),
      QStringLiteral("PageSuiv"),
      QStringLiteral("Fin"),
      QStringLiteral("Origine"),
      QStringLiteral("Gauche"),
      QStringLiteral("Haut"),
      QStringLiteral("Droite"),
      QStringLiteral("Bas"),
      QStringLiteral("Ins"),
      QStringLiteral("Suppr"),
      QStringLiteral("Maj+"),
      QStringLiteral("Ctrl+"),
      QStringLiteral("Alt+"),
      QStringLiteral("octet"),
      QStringLiteral("octets"),
      QStringLiteral("Ko"),
      QStringLiteral("Mo"),
      QStringLiteral("Go"),
  };
}

struct TEnglishText {
  TLangText id;
  const char16_t* text;
};

// 16 and 29 read the same in both languages; they are assigned all the same,
// so a text changed at run time is put back by the switch.
constexpr TEnglishText EnglishTexts[] = {
    {lsAllImages, u"All images"},
    {lsCommonImages, u"Common images"},
    {lsLoadError, u"Unable to load image in file \"%s\" !"},
    {lsSaveError, u"Unable to save image in file \"%s\" !"},
    {lsPixelSize, u"%dx%d pixels"},
    {lsPreview, u"Preview"},
    {lsImageProperties, u"Image properties"},
    {lsYes, u"&Yes"},
    {lsNo, u"&No"},
    {lsCancel, u"Cancel"},
    {lsInformation, u"Information"},
    {lsConfirmation, u"Confirm"},
    {lsKeyEnter, u"Enter"},
    {lsByte, u"byte"},
    {lsBytes, u"bytes"},
    {lsKilobytes, u"Kb"},
    {lsMegabytes, u"Mb"},
    {lsGigabytes, u"Gb"},
};

constexpr auto EnglishNumbers = [] {
  std::array<TLangText, std::size(EnglishTexts)> numbers{};
  for (size_t i = 0; i < numbers.size(); ++i) numbers[i] = EnglishTexts[i].id;
  return numbers;
}();

// Made on first use, so code running during static initialisation of other
// files already finds the French defaults.
TTexts& Texts() {
  static TTexts texts = FrenchTexts();
  return texts;
}

int CheckedNumber(int number) {
  if (number < 0 || number >= LangTextCount)
    throw std::out_of_range("interface string number out of range: " + std::to_string(number));
  return number;
}

}  // namespace

const QString& LangText(TLangText id) { return LangText(int(id)); }

const QString& LangText(int number) { return Texts()[size_t(CheckedNumber(number))]; }

void SetLangText(int number, const QString& text) { Texts()[size_t(CheckedNumber(number))] = text; }

void SetFrenchTexts() { Texts() = FrenchTexts(); }

void SetEnglishTexts() {
  for (const TEnglishText& e : EnglishTexts) Texts()[size_t(e.id)] = QString::fromUtf16(e.text);
}

std::span<const TLangText> EnglishTextNumbers() { return EnglishNumbers; }
