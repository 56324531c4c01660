// The signing control's interface, as the client calls it.
//
// The control is an in-process COM object of class SignControl that hands out
// ISignControl.  The interface has 56 slots: IUnknown's three, the five
// operations below, and others the client never calls (declared so that a
// module can fill the table and every slot keeps its position).  Every
// operation returns 0 for success; any other value, positive ones too, is a
// failure.  Texts are zero-terminated UTF-16; a text the control hands out
// stays the control's and is valid until the control is released.
#ifndef SIGNCTL_CONTROL_SIGN_CONTROL_H
#define SIGNCTL_CONTROL_SIGN_CONTROL_H

#include "../platform/platform.h"

// {589F6929-9B41-4844-86FF-F61F0B35617C}
extern const CLSID CLSID_SignControl;
// {9A1F1F54-7397-4BE8-A0D1-009B84FFDACE}
extern const IID IID_ISignControl;

struct ISignControl : IUnknown {
    // InitContainer (slot 9): opens container for identity; on 0 the
    // container is ready for SignData and VerifySign, and *containerHandle
    // holds a value of the control's own that VerifySign takes back.
    // SignData (slot 37): signs text; on 0 *signature points to the
    // signature text.  VerifySign (slot 38): 0 when signature is valid for
    // text.  CheckInstalled (slot 48): 0 when the control can run.
    // CheckUkeyConnected (slot 55): 0 when a key is connected; *identity
    // then points to the key's identity text.
    virtual HRESULT STDMETHODCALLTYPE Unused3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused4() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused6() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused7() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused8() = 0;
    virtual HRESULT STDMETHODCALLTYPE InitContainer(const OLECHAR* identity,
                                                    const OLECHAR* container,
                                                    int32_t* containerHandle) = 0; // slot 9
    virtual HRESULT STDMETHODCALLTYPE Unused10() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused11() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused12() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused13() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused14() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused15() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused16() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused17() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused18() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused19() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused20() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused21() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused22() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused23() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused24() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused25() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused26() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused27() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused28() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused29() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused30() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused31() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused32() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused33() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused34() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused35() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused36() = 0;
    virtual HRESULT STDMETHODCALLTYPE SignData(const OLECHAR* text, int32_t algorithm,
                                               OLECHAR** signature) = 0; // slot 37
    virtual HRESULT STDMETHODCALLTYPE VerifySign(const OLECHAR* text, const OLECHAR* signature,
                                                 int32_t algorithm,
                                                 int32_t* containerHandle) = 0; // slot 38
    virtual HRESULT STDMETHODCALLTYPE Unused39() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused40() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused41() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused42() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused43() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused44() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused45() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused46() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused47() = 0;
    virtual HRESULT STDMETHODCALLTYPE CheckInstalled() = 0; // slot 48
    virtual HRESULT STDMETHODCALLTYPE Unused49() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused50() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused51() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused52() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused53() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused54() = 0;
    virtual HRESULT STDMETHODCALLTYPE CheckUkeyConnected(OLECHAR** identity) = 0; // slot 55
};

#endif
