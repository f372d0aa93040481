#include "AppWindows.h"

#include "ui/dialogs/EditLAN.h"
#include "ui/dialogs/EnterYes.h"
#include "ui/dialogs/PreSettingEdit.h"
#include "ui/dialogs/Search.h"
#include "ui/dialogs/ShowInOutInfo.h"

std::unique_ptr<TForm1> CreateApplicationWindows(const TForm1Options& options)
{
    auto form = std::make_unique<TForm1>(options);
    TForm1Dialogs d;
    d.PreSettingEdit = new TfrmPreSettingEdit(form.get());
    d.ShowInOutInfo = new TfrmShowInOutInfo(form.get());
    d.EditLAN = new TfrmEditLAN(form.get());
    d.Search = new TfrmSearch(form.get());
    d.EnterYes = new TfrmEnterYes(form.get());
    form->SetDialogs(d);
    return form;
}
