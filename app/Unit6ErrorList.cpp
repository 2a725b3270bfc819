// Saving the error list: lbErr's pop-up menu and Ctrl+S write its lines to a
// text file in UTF-8, so a long run's messages can be kept and passed on.
#include <cerrno>
#include <cstring>
#include <fstream>

#include "app/Unit6.h"
#include "runtime/CodePage.h"
#include "runtime/Format.h"

void TForm6::CreateErrorListMenu() {
  pmErr = new TPopupMenu(this);
  pmErr->SetName("pmErr");
  miSaveErr = new TMenuItem(this);
  miSaveErr->SetName("miSaveErr");
  miSaveErr->SetCaption("Snimi u fajl...");
  miSaveErr->SetShortCut("Ctrl+S");
  miSaveErr->OnClick = [this](TComponent* Sender) { miSaveErrClick(Sender); };
  pmErr->Add(miSaveErr);
  lbErr->SetPopupMenu(pmErr);

  sdErr = new TSaveDialog(this);
  sdErr->SetName("sdErr");
  sdErr->SetTitle("Snimi listu gresaka");
  sdErr->SetFilter("Tekst (*.txt)|*.txt|Svi fajlovi (*)|*");
  sdErr->SetDefaultExt("txt");
  sdErr->SetFileName("greske.txt");
}

void TForm6::miSaveErrClick(TComponent* Sender) {
  if (!sdErr->Execute()) return;
  const std::string& fileName = sdErr->FileName();
  std::string text;
  for (const std::string& line : lbErr->Items().Lines()) text += AnsiToUtf8(line) + "\n";
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (out) out.close();
  if (!out) {
    const int error = errno;
    // The list stays as it was: the user can pick another place and retry.
    MessageDlg(Format("Greska pri snimanju u fajl %s: %s", {Utf8ToAnsi(fileName), Utf8ToAnsi(std::strerror(error))}),
               TMsgDlgType::mtError);
  }
}
