#include "AppWindows.h"

#include "ui/dialogs/EditLAN.h"
#include "ui/dialogs/EnterYes.h"
#include "ui/dialogs/PreSettingEdit.h"
#include "ui/dialogs/Search.h"
#include "ui/dialogs/ShowInOutInfo.h"

template <class T>
static TLazyDialog<T> Lazy(TForm1* parent)
{
    return TLazyDialog<T>([parent] { return new T(parent); });
}

std::unique_ptr<TForm1> CreateApplicationWindows(const TForm1Options& options)
{
    auto form = std::make_unique<TForm1>(options);
    TForm1* parent = form.get();
    TForm1Dialogs d;
    d.PreSettingEdit = Lazy<TfrmPreSettingEdit>(parent);
    d.ShowInOutInfo = Lazy<TfrmShowInOutInfo>(parent);
    d.EditLAN = Lazy<TfrmEditLAN>(parent);
    d.Search = Lazy<TfrmSearch>(parent);
    d.EnterYes = Lazy<TfrmEnterYes>(parent);
    form->SetDialogs(std::move(d));
    return form;
}
