// A throwaway signing environment for the token control's tests: its own
// SoftHSM2 token folder (SOFTHSM2_CONF), its own XDG_CONFIG_HOME with the
// control registered and configured, identities and PIN files, all in a
// temporary folder removed afterwards.  Nothing touches the machine's own
// tokens: the configuration names SoftHSM's module instead of p11-kit's list.
#ifndef SIGNCTL_TESTS_TOKEN_SUPPORT_TOKEN_LAB_H
#define SIGNCTL_TESTS_TOKEN_SUPPORT_TOKEN_LAB_H

#include <string>
#include <vector>

// Key material made once per test program with the openssl command: PEM
// files in a folder of their own.
struct Material {
    std::string rsaKey;    // RSA-2048 private key, PKCS#8 PEM
    std::string rsaCert;   // its self-signed certificate, PEM
    std::string rsaDer;    // the same, DER
    std::string otherKey;  // a second RSA key, PKCS#8 PEM
    std::string otherCert; // its certificate, PEM
    std::string otherDer;  // the same, DER
    std::string ecKey;     // P-256 private key, PKCS#8 PEM
    std::string ecDer;     // its certificate, DER
};

class TokenLab {
  public:
    static const char* const kTokenLabel; // "signctl test"
    static const char* const kPin;        // the user PIN of the lab's tokens
    static const char* const kPassword;   // the identities' password

    // The SoftHSM2 module's path, or an empty text when SoftHSM2 isn't
    // installed (the tests then skip).
    static std::string SoftHsmModule();

    // The key material, made on first use; fails the test when openssl
    // can't make it.
    static const Material& Keys();

    // Makes the folders, SoftHSM's configuration, the control's
    // registration and a configuration that names the lab's token with a
    // private PIN file and the identity password file.  No token yet.
    TokenLab();
    // Removes the lab's folder; restores the variables Enter set.
    ~TokenLab();
    TokenLab(const TokenLab&) = delete;
    TokenLab& operator=(const TokenLab&) = delete;

    // The standard setup: a token with the RSA key and certificate labelled
    // "BRIVCont1" (CKA_ID 01) and the identity "briv_tav_client_p12" made
    // of the same key and certificate.
    void Standard();

    // Sets SOFTHSM2_CONF, XDG_CONFIG_HOME and HOME in this process, for
    // tests that load the control here.
    void Enter();

    // The variables the lab's children need ("NAME=VALUE").
    std::vector<std::string> Env() const;

    // Rewrites SoftHSM's configuration with the slots.mechanisms setting
    // mechanisms (e.g. "-CKM_SHA256_RSA_PKCS"); it applies to modules loaded
    // afterwards.
    void SetMechanisms(const std::string& mechanisms);

    // Token and object making, each a helper program run that must succeed.
    void InitToken(const std::string& label);
    void ImportKey(const std::string& token, const std::string& keyPem, const std::string& label,
                   const std::string& idHex);
    void ImportCertificate(const std::string& token, const std::string& der,
                           const std::string& label, const std::string& idHex);
    // Writes NAME.p12 in the identity folder: keyPem (may be empty: a
    // certificate-only identity) and certPem, friendlyName name, protected
    // by password; with extraCertPem, that certificate too, named extraName.
    void MakeIdentity(const std::string& identity, const std::string& keyPem,
                      const std::string& certPem, const std::string& name,
                      const std::string& password, const std::string& extraCertPem = "",
                      const std::string& extraName = "");

    // Replaces the control's configuration with text (mode 0600).  "@LAB@"
    // in text becomes the lab's configuration folder, "@MODULE@" SoftHSM's
    // module.
    void WriteConfig(const std::string& text);
    // The lab's standard configuration text (see the constructor).
    std::string StandardConfig() const;

    // Writes content to path with permission bits mode.
    static void WriteFile(const std::string& path, const std::string& content, int mode);

    const std::string& Root() const { return root_; }
    // Where the control's configuration lives: ROOT/config/signctl.
    std::string ConfigFolder() const { return root_ + "/config/signctl"; }
    std::string IdentityFolder() const { return ConfigFolder() + "/identities"; }
    // A scratch folder to run programs in.
    std::string Work() const { return root_ + "/work"; }

  private:
    std::string root_;
    std::vector<std::pair<std::string, std::string>> saved_;
    bool entered_ = false;
};

#endif
