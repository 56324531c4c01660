// The program's console messages.  The Chinese ones are GBK (code page 936)
// bytes, written as they are whatever the console's code page; each is shown
// above its bytes.
#ifndef SIGNCTL_DRIVER_MESSAGES_H
#define SIGNCTL_DRIVER_MESSAGES_H

// 获取控件接口库成功\n
#define MSG_CONTROL_CREATED                                                                        \
    "\xbb\xf1\xc8\xa1\xbf\xd8\xbc\xfe\xbd\xd3\xbf\xda\xbf\xe2\xb3\xc9\xb9\xa6\n"
// 获取控件接口库失败\n
#define MSG_CONTROL_NOT_CREATED                                                                    \
    "\xbb\xf1\xc8\xa1\xbf\xd8\xbc\xfe\xbd\xd3\xbf\xda\xbf\xe2\xca\xa7\xb0\xdc\n"
// 判断控件是否安装,hr = %x\n
#define MSG_NOT_INSTALLED                                                                          \
    "\xc5\xd0\xb6\xcf\xbf\xd8\xbc\xfe\xca\xc7\xb7\xf1\xb0\xb2\xd7\xb0,hr = %x\n"
// 检查Ukey是否连接,hr = %x\n
#define MSG_NO_UKEY "\xbc\xec\xb2\xe9Ukey\xca\xc7\xb7\xf1\xc1\xac\xbd\xd3,hr = %x\n"
// 初始化失败\n
#define MSG_INIT_FAILED "\xb3\xf5\xca\xbc\xbb\xaf\xca\xa7\xb0\xdc\n"
#define MSG_SIGN_FAILED "sign data failed,hr=%x \n"
#define MSG_NO_SIGNATURE "sign data failed: the control returned no signature\n"
#define MSG_OUT_OF_MEMORY "out of memory\n"

#define WMSG_SIGNED OLESTR("signdata:%s\n")
#define WMSG_VERIFY_OK OLESTR("verifySign:OK")
#define WMSG_VERIFY_ERROR OLESTR("verifySign:Error")
#define WMSG_DATA_FILE OLESTR("cannot read data file \"%s\": ")
#define WMSG_SIGNATURE_FILE OLESTR("cannot read signature file \"%s\": ")
#define WMSG_WRITE_SIGNATURE OLESTR("cannot write signature file \"%s\": ")

#endif
