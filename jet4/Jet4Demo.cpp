// Demo catalogue data in Serbian Latin: products, GHS signs and H/P markings,
// enough to fill the tool's grids and to try both transfers.
#include "jet4/Jet4Demo.h"

#include <string>

namespace {

struct Sign {
  std::int64_t id;
  const char* code;
  const char* name;
};

constexpr Sign kSigns[] = {
    {1, "GHS01", "Eksplozivno"},
    {2, "GHS02", "Zapaljivo"},
    {3, "GHS03", "Oksidujuće"},
    {4, "GHS04", "Gas pod pritiskom"},
    {5, "GHS05", "Korozivno"},
    {6, "GHS06", "Akutna toksičnost"},
    {7, "GHS07", "Uzvičnik - nadražujuće"},
    {8, "GHS08", "Opasnost po zdravlje"},
    {9, "GHS09", "Opasno po životnu sredinu"},
};

struct Marking {
  const char* id;
  const char* kind;
  const char* text;
};

constexpr Marking kMarkings[] = {
    {"H225", "H", "Lako zapaljiva tečnost i para."},
    {"H226", "H", "Zapaljiva tečnost i para."},
    {"H304", "H", "Može biti smrtonosno ako se proguta i dospe u disajne puteve."},
    {"H312", "H", "Štetno u kontaktu sa kožom."},
    {"H315", "H", "Izaziva iritaciju kože."},
    {"H317", "H", "Može da izazove alergijske reakcije na koži."},
    {"H319", "H", "Dovodi do jake iritacije oka."},
    {"H332", "H", "Štetno ako se udiše."},
    {"H336", "H", "Može da izazove pospanost ili nesvesticu."},
    {"H411", "H", "Toksično po živi svet u vodi sa dugotrajnim posledicama."},
    {"H412", "H", "Štetno po živi svet u vodi sa dugotrajnim posledicama."},
    {"EUH066", "H", "Ponovljeno izlaganje može da izazove sušenje ili pucanje kože."},
    {"P101", "P", "Ako je potreban medicinski savet, imati pri ruci pakovanje ili etiketu proizvoda."},
    {"P102", "P", "Čuvati van domašaja dece."},
    {"P210", "P",
     "Čuvati dalje od toplote, vrelih površina, varnica, otvorenog plamena i drugih izvora paljenja. Ne pušiti."},
    {"P233", "P", "Čuvati pakovanje dobro zatvoreno."},
    {"P261", "P", "Izbegavati udisanje prašine/dima/gasa/magle/isparenja/spreja."},
    {"P271", "P", "Koristiti samo na otvorenom ili u dobro provetrenom prostoru."},
    {"P280", "P", "Nositi zaštitne rukavice/zaštitnu odeću/zaštitu za oči/zaštitu za lice."},
    {"P301+P310", "P", "AKO SE PROGUTA: Odmah pozvati CENTAR ZA KONTROLU TROVANJA ili lekara."},
    {"P303+P361+P353", "P",
     "AKO DOSPE NA KOŽU (ili kosu): Odmah skinuti svu kontaminiranu odeću. Isprati kožu vodom ili tuširanjem."},
    {"P305+P351+P338", "P",
     "AKO DOSPE U OČI: Ispirati pažljivo vodom nekoliko minuta. Ukloniti kontaktna sočiva ako postoje i ako se to "
     "lako može uraditi. Nastaviti sa ispiranjem."},
    {"P331", "P", "NE izazivati povraćanje."},
    {"P403+P235", "P", "Čuvati na dobro provetrenom mestu. Čuvati na hladnom."},
    {"P501", "P", "Odložiti sadržaj/ambalažu u skladu sa lokalnim propisima."},
};

struct Product {
  const char* name;
  const char* maker;
  const char* use;
  const char* storage;
  const char* un;  // "" when not dangerous goods
  const char* h;
  const char* p;
  const char* signs[5];
  bool flammable;
  double density;
};

constexpr Product kProducts[] = {
    {"Boja za drvo Lazur hrast", "Hemikal Čačak", "Zaštita i dekoracija drveta u enterijeru i eksterijeru",
     "+5 °C do +25 °C", "UN 1263", "H226, H336, EUH066", "P102, P210, P271, P501", {"2", "7", "0", "0", "0"}, true, 0.88},
    {"Boja za drvo Lazur orah", "Hemikal Čačak", "Zaštita i dekoracija drveta u enterijeru i eksterijeru",
     "+5 °C do +25 °C", "UN 1263", "H226, H336, EUH066", "P102, P210, P271, P501", {"2", "7", "0", "0", "0"}, true, 0.88},
    {"Razređivač nitro", "Boje Šabac", "Razređivanje nitro lakova i boja, čišćenje alata", "do +25 °C, dalje od izvora toplote",
     "UN 1263", "H225, H304, H315, H336", "P210, P233, P280, P301+P310, P331", {"2", "7", "8", "0", "0"}, true, 0.84},
    {"Razređivač uljani", "Boje Šabac", "Razređivanje uljanih i sintetičkih boja", "do +25 °C", "UN 1300",
     "H226, H304, H336, EUH066", "P210, P301+P310, P331", {"2", "8", "0", "0", "0"}, true, 0.78},
    {"Lak za parket sjajni", "Đurđevak Hem", "Završna zaštita parketa i drvenih podova", "+5 °C do +30 °C", "UN 1263",
     "H226, H317, H412", "P261, P280, P501", {"2", "7", "0", "0", "0"}, true, 0.95},
    {"Lak za parket mat", "Đurđevak Hem", "Završna zaštita parketa i drvenih podova", "+5 °C do +30 °C", "UN 1263",
     "H226, H317, H412", "P261, P280, P501", {"2", "7", "0", "0", "0"}, true, 0.95},
    {"Emajl lak beli", "Žitište Kolor", "Zaštita metala i drveta, sjajna završna obrada", "+5 °C do +25 °C", "UN 1263",
     "H226, H336, H412", "P210, P271, P501", {"2", "7", "0", "0", "0"}, true, 1.25},
    {"Emajl lak crni", "Žitište Kolor", "Zaštita metala i drveta, sjajna završna obrada", "+5 °C do +25 °C", "UN 1263",
     "H226, H336, H412", "P210, P271, P501", {"2", "7", "0", "0", "0"}, true, 1.18},
    {"Osnovna boja za metal siva", "Ćuprija Lak", "Antikorozivna zaštita čeličnih površina", "+5 °C do +25 °C",
     "UN 1263", "H226, H411", "P210, P273, P501", {"2", "9", "0", "0", "0"}, true, 1.40},
    {"Fasadna boja bela", "Boje Šabac", "Zaštita i dekoracija fasada", "+5 °C do +30 °C, ne sme da se zamrzne", "", "",
     "P102", {"0", "0", "0", "0", "0"}, false, 1.55},
    {"Poludisperzija za zidove", "Hemikal Čačak", "Bojenje unutrašnjih zidova i plafona", "+5 °C do +30 °C", "", "",
     "P102", {"0", "0", "0", "0", "0"}, false, 1.60},
    {"Akrilni kit beli", "Kemoplast Niš", "Popunjavanje pukotina i spojeva", "+5 °C do +25 °C", "", "", "P102, P262",
     {"0", "0", "0", "0", "0"}, false, 1.65},
    {"Silikon sanitarni providni", "Kemoplast Niš", "Zaptivanje u kupatilima i kuhinjama", "+5 °C do +25 °C", "",
     "H317", "P261, P280", {"7", "0", "0", "0", "0"}, false, 1.02},
    {"Lepak za pločice", "Đurđevak Hem", "Lepljenje keramičkih pločica u enterijeru", "suvo, do +30 °C", "", "H315, H319",
     "P280, P305+P351+P338", {"5", "7", "0", "0", "0"}, false, 1.45},
    {"Hidroizolacioni premaz", "Ćuprija Lak", "Zaštita temelja i ravnih krovova od vlage", "+5 °C do +30 °C", "UN 1993",
     "H226, H304, H411", "P210, P273, P331", {"2", "8", "9", "0", "0"}, true, 1.05},
    {"Sredstvo za skidanje boje", "Boje Šabac", "Skidanje starih slojeva boje i laka", "do +25 °C", "UN 1993",
     "H225, H315, H319, H336", "P210, P280, P303+P361+P353, P305+P351+P338", {"2", "5", "7", "0", "0"}, true, 1.10},
    {"Terpentin", "Hemikal Čačak", "Razređivanje uljanih boja, čišćenje", "do +25 °C", "UN 1299",
     "H226, H304, H312, H315, H317, H332, H411", "P210, P280, P301+P310, P331", {"2", "6", "8", "9", "0"}, true, 0.86},
    {"Aceton tehnički", "Žitište Kolor", "Odmašćivanje i čišćenje", "do +25 °C", "UN 1090", "H225, H319, H336, EUH066",
     "P210, P233, P305+P351+P338", {"2", "7", "0", "0", "0"}, true, 0.79},
    {"Špiritus denaturisani", "Žitište Kolor", "Čišćenje i odmašćivanje", "do +25 °C", "UN 1170", "H225, H319",
     "P210, P233, P305+P351+P338", {"2", "7", "0", "0", "0"}, true, 0.81},
    {"Zaštitni premaz za beton", "Ćuprija Lak", "Zaštita betonskih podova od prašenja", "+5 °C do +30 °C", "", "H412",
     "P273, P501", {"0", "0", "0", "0", "0"}, false, 1.30},
    {"Impregnacija za drvo", "Đurđevak Hem", "Zaštita drveta od insekata i gljivica", "+5 °C do +25 °C", "UN 1306",
     "H226, H317, H411", "P210, P261, P280, P501", {"2", "7", "9", "0", "0"}, true, 0.82},
    {"Uljana boja za drvo zelena", "Hemikal Čačak", "Bojenje drvenih površina", "+5 °C do +25 °C", "UN 1263",
     "H226, EUH066", "P102, P210", {"2", "0", "0", "0", "0"}, true, 1.20},
    {"Sprej boja crvena", "Boje Šabac", "Dekorativno bojenje manjih površina", "do +50 °C, ne bušiti ni spaljivati",
     "UN 1950", "H222, H229, H319, H336", "P210, P211, P251, P410+P412", {"2", "7", "0", "0", "0"}, true, 0.75},
    {"Epoksidni premaz za pod", "Kemoplast Niš", "Industrijski podovi i garaže", "+10 °C do +25 °C", "UN 3082",
     "H315, H317, H319, H411", "P261, P273, P280, P305+P351+P338", {"7", "9", "0", "0", "0"}, false, 1.50},
    {"Čistač četkica", "Ćuprija Lak", "Čišćenje četkica i valjaka posle rada", "do +25 °C", "UN 1993",
     "H226, H304, H336", "P210, P301+P310, P331", {"2", "8", "12", "0", "0"}, true, 0.80},
};

struct Pack {
  const char* label;
  const char* suffix;
  double priceFactor;
};

constexpr Pack kPacks[] = {{"0,75 l", "", 1.0}, {"2,5 l", "5", 3.0}};

std::string LongDescription() {
  std::string s =
      "Tehnički list proizvoda.\r\n\r\nPriprema podloge: podloga mora biti suva, čista, bez prašine, masnoće i "
      "ostataka stare boje. Staru, oštećenu boju ukloniti brušenjem.\r\n";
  for (int i = 1; i <= 40; ++i)
    s += "Korak " + std::to_string(i) +
         ": naneti tanak sloj četkom ili valjkom, sačekati da se osuši (oko 6 sati na 20 °C) i lagano prebrusiti. "
         "Ne raditi na direktnom suncu, pri jakom vetru ni na temperaturi ispod +5 °C.\r\n";
  return s;
}

Jet4Table Tabela1() {
  using T = Jet4Type;
  Jet4Table t{"TABELA1"};
  t.columns = {
      {"ID", T::LongInteger, 0, true},
      {"KAT_BROJ", T::Text, 20},
      {"NAZIV", T::Text, 100},
      {"PROIZVODJAC", T::Text, 50},
      {"PAKOVANJE", T::Text, 30},
      {"NAMENA", T::Text, 120},
      {"OPIS", T::Memo},
      {"TEMPERATURA_SKLADISTENJA", T::Text, 60},
      {"ROK_TRAJANJA", T::Text, 30},
      {"UN_BROJ", T::Text, 10},
      {"H_OZNAKE", T::Text, 120},
      {"P_OZNAKE", T::Text, 120},
      {"ZNAK_1", T::Text, 10},
      {"ZNAK_2", T::Text, 10},
      {"ZNAK_3", T::Text, 10},
      {"ZNAK_4", T::Text, 10},
      {"ZNAK_5", T::Text, 10},
      {"ZAPALJIVO", T::Boolean},
      {"GUSTINA", T::Double},
      {"CENA", T::Currency},
      {"DATUM_IZMENE", T::DateTime},
  };
  // Catalogue numbers as the legacy data has them: mostly four or five digits,
  // a leading zero for the REP group, a few short or alphanumeric ones.
  static constexpr const char* kNumbers[] = {"1012", "1013", "1101", "1102", "1205", "1206", "1301", "1302",
                                             "1401", "2001", "2002", "2101", "2102", "2201", "3001", "3002",
                                             "3101", "3102", "3103", "3201", "3301", "3401", "0123", "0457",
                                             "7"};
  int month = 0;
  for (std::size_t p = 0; p < std::size(kPacks); ++p) {
    for (std::size_t i = 0; i < std::size(kProducts); ++i) {
      const Product& pr = kProducts[i];
      const Pack& pack = kPacks[p];
      // Built in place: moving temporary variants into the vector trips a
      // false -Wmaybe-uninitialized in GCC 12.
      std::vector<Jet4Value> row;
      row.reserve(t.columns.size());
      auto text = [&row](std::string s) { row.emplace_back(std::in_place_type<std::string>, std::move(s)); };
      auto null = [&row] { row.emplace_back(std::in_place_type<std::monostate>); };
      null();  // ID: AutoNumber
      if (p == 1 && i == 7)
        null();  // a record without catalogue number: the transfer skips it
      else if (p == 1 && i == 24)
        text("AB12345");
      else
        text(std::string(kNumbers[i]) + pack.suffix);
      text(pr.name);
      text(pr.maker);
      text(pack.label);
      text(pr.use);
      if (i == 0 && p == 0)
        text(LongDescription());
      else if (i % 3 == 2)
        null();
      else
        text(std::string(pr.name) + ", pakovanje " + pack.label + ". " + pr.use + ".");
      text(pr.storage);
      text(i % 4 == 3 ? "36 meseci" : "24 meseca");
      if (pr.un[0] != '\0')
        text(pr.un);
      else
        null();
      text(pr.h);
      text(pr.p);
      for (const char* s : pr.signs) text(s);
      row.emplace_back(std::in_place_type<bool>, pr.flammable);
      row.emplace_back(std::in_place_type<double>, pr.density);
      const auto price = static_cast<std::int64_t>((450 + 37 * static_cast<int>(i)) * pack.priceFactor) * 10000 + 9900;
      row.emplace_back(std::in_place_type<Jet4Currency>, Jet4Currency{price});
      row.emplace_back(std::in_place_type<Jet4Date>,
                       Jet4Date{Jet4DateValue(2003, 1 + month % 12, 1 + (month * 7) % 28, 8 + month % 9, (month * 13) % 60)});
      t.rows.push_back(std::move(row));
      ++month;
    }
  }
  return t;
}

Jet4Table Znak() {
  Jet4Table t{"ZNAK", {{"id_znak_tabela1", Jet4Type::LongInteger}, {"naziv", Jet4Type::Text, 100},
                       {"oznaka", Jet4Type::Text, 10}}};
  for (const Sign& s : kSigns) t.rows.push_back({s.id, std::string(s.name), std::string(s.code)});
  return t;
}

Jet4Table HPOznake() {
  Jet4Table t{"HPOznake", {{"id", Jet4Type::Text, 20}, {"naziv", Jet4Type::Text, 255}, {"vrsta", Jet4Type::Text, 1}}};
  for (const Marking& m : kMarkings) t.rows.push_back({std::string(m.id), std::string(m.text), std::string(m.kind)});
  return t;
}

}  // namespace

std::vector<Jet4Table> Jet4DemoTables() { return {Tabela1(), Znak(), HPOznake()}; }
