<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="zh_CN">
<context>
    <name>Texts</name>
    <message>
        <source> OPEND，</source>
        <translation> OPEND, </translation>
    </message>
    <message>
        <source> 错误描述:</source>
        <translation> Error description:</translation>
    </message>
    <message>
        <source>%1 不是本程序的读数库（版本 %2，需要 %3）</source>
        <translation>%1 is not a readings file of this program (version %2, needs %3)</translation>
    </message>
    <message>
        <source>,上次抄表热量:</source>
        <translation>,Heat at last reading:</translation>
    </message>
    <message>
        <source>,供水温度:</source>
        <translation>,Supply temperature:</translation>
    </message>
    <message>
        <source>,回水温度:</source>
        <translation>,Return temperature:</translation>
    </message>
    <message>
        <source>,当前热量:</source>
        <translation>,Current heat:</translation>
    </message>
    <message>
        <source>,温差:</source>
        <translation>,Temperature difference:</translation>
    </message>
    <message>
        <source>,热功率:</source>
        <translation>,Heat power:</translation>
    </message>
    <message>
        <source>,瞬时流量:</source>
        <translation>,Flow rate:</translation>
    </message>
    <message>
        <source>,累计工作时间:</source>
        <translation>,Total working time:</translation>
    </message>
    <message>
        <source>,累计流量:</source>
        <translation>,Total flow:</translation>
    </message>
    <message>
        <source>,通讯状态:通讯成功,采集时间:</source>
        <translation>,Communication status:OK,Acquisition time:</translation>
    </message>
    <message>
        <source>HT6630-QN无线室温采集终端测试软件V1.0</source>
        <translation>HT6630-QN wireless room-temperature terminal test software V1.0</translation>
    </message>
    <message>
        <source>IP地址不可用</source>
        <translation>IP address unavailable</translation>
    </message>
    <message>
        <source>IP数值不正确，请重新输入</source>
        <translation>IP value is invalid, please re-enter</translation>
    </message>
    <message>
        <source>Ip地址或端口号不能为空</source>
        <translation>IP address or port number must not be empty</translation>
    </message>
    <message>
        <source>PNG 图片 (*.png)</source>
        <translation>PNG image (*.png)</translation>
    </message>
    <message>
        <source>STATUS：</source>
        <translation>STATUS: </translation>
    </message>
    <message>
        <source>STATUS：COM Port Cloced</source>
        <translation>STATUS: COM Port Cloced</translation>
    </message>
    <message>
        <source>TCP服务启动失败:</source>
        <translation>TCP service failed to start:</translation>
    </message>
    <message>
        <source>TCP服务启动失败:IP地址不可用</source>
        <translation>TCP service failed to start: IP address unavailable</translation>
    </message>
    <message>
        <source>TCP服务已停止!</source>
        <translation>TCP service stopped!</translation>
    </message>
    <message>
        <source>TCP服务已启动!</source>
        <translation>TCP service started!</translation>
    </message>
    <message>
        <source>TCP服务已经启动!</source>
        <translation>TCP service is already running!</translation>
    </message>
    <message>
        <source>UDP服务已停止!</source>
        <translation>UDP service stopped!</translation>
    </message>
    <message>
        <source>UDP服务已启动！</source>
        <translation>UDP service started!</translation>
    </message>
    <message>
        <source>UDP服务已经启动!</source>
        <translation>UDP service is already running!</translation>
    </message>
    <message>
        <source>\\**\\接收到的热表设备地址:</source>
        <translation>\\**\\Received heat meter address:</translation>
    </message>
    <message>
        <source>…</source>
        <translation>…</translation>
    </message>
    <message>
        <source>℃      湿度:</source>
        <translation>℃      Humidity:</translation>
    </message>
    <message>
        <source>。。。</source>
        <translation>...</translation>
    </message>
    <message>
        <source>上传数据时间间隔超范围，请重新输入</source>
        <translation>Upload interval out of range, please re-enter</translation>
    </message>
    <message>
        <source>上传时间:</source>
        <translation>Upload time:</translation>
    </message>
    <message>
        <source>中止日设置错误</source>
        <translation>Invalid end day</translation>
    </message>
    <message>
        <source>中止月设置错误</source>
        <translation>Invalid end month</translation>
    </message>
    <message>
        <source>串口设置</source>
        <translation>Serial port settings</translation>
    </message>
    <message>
        <source>主动上传数据</source>
        <translation>Uploaded data</translation>
    </message>
    <message>
        <source>保存为PNG</source>
        <translation>Save as PNG</translation>
    </message>
    <message>
        <source>保留最近多少天的读数（0 = 全部保留）：</source>
        <translation>Days of readings to keep (0 = keep all): </translation>
    </message>
    <message>
        <source>共 %1 条读数，本范围 %2 条，绘出 %3 点</source>
        <translation>Total %1 readings, of which %2 in range, %3 points plotted</translation>
    </message>
    <message>
        <source>关闭串口</source>
        <translation>Close serial port</translation>
    </message>
    <message>
        <source>分</source>
        <translation> min</translation>
    </message>
    <message>
        <source>分钟</source>
        <translation> min</translation>
    </message>
    <message>
        <source>分钟必须0-59</source>
        <translation>Minutes must be 0-59</translation>
    </message>
    <message>
        <source>分钟必须为数字</source>
        <translation>Minutes must be a number</translation>
    </message>
    <message>
        <source>分钟必须为整数</source>
        <translation>Minutes must be an integer</translation>
    </message>
    <message>
        <source>启动服务</source>
        <translation>Start service</translation>
    </message>
    <message>
        <source>回水铂电阻断线标志:</source>
        <translation>Return Pt resistor break flag:</translation>
    </message>
    <message>
        <source>回水铂电阻短路标志:</source>
        <translation>Return Pt resistor short flag:</translation>
    </message>
    <message>
        <source>在线</source>
        <translation>Online</translation>
    </message>
    <message>
        <source>备用IP数值不正确，请重新输入</source>
        <translation>Spare IP value is invalid, please re-enter</translation>
    </message>
    <message>
        <source>备用端口号数值不正确，请重新输入</source>
        <translation>Spare port number is invalid, please re-enter</translation>
    </message>
    <message>
        <source>失败！</source>
        <translation> failed!</translation>
    </message>
    <message>
        <source>失败，功能码错误！</source>
        <translation> failed, wrong function code!</translation>
    </message>
    <message>
        <source>实时时间:</source>
        <translation>Real-time clock:</translation>
    </message>
    <message>
        <source>室温采集终端主动上传数据:</source>
        <translation>Room-temperature terminal upload:</translation>
    </message>
    <message>
        <source>对</source>
        <translation> pairs</translation>
    </message>
    <message>
        <source>对端地址</source>
        <translation>Peer address</translation>
    </message>
    <message>
        <source>导出CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>导出失败：</source>
        <translation>Export failed: </translation>
    </message>
    <message>
        <source>小时必须0-23</source>
        <translation>Hours must be 0-23</translation>
    </message>
    <message>
        <source>小时必须为数字</source>
        <translation>Hours must be a number</translation>
    </message>
    <message>
        <source>小时必须为整数</source>
        <translation>Hours must be an integer</translation>
    </message>
    <message>
        <source>已发布</source>
        <translation>published</translation>
    </message>
    <message>
        <source>已发送</source>
        <translation>sent</translation>
    </message>
    <message>
        <source>已导出 %1 条读数到 %2</source>
        <translation>Exported %1 readings to %2</translation>
    </message>
    <message>
        <source>已连接 %1</source>
        <translation>Connected to %1</translation>
    </message>
    <message>
        <source>年</source>
        <translation> yr</translation>
    </message>
    <message>
        <source>年必须为数字</source>
        <translation>Year must be a number</translation>
    </message>
    <message>
        <source>年必须为整数</source>
        <translation>Year must be an integer</translation>
    </message>
    <message>
        <source>年设置范围为00-99</source>
        <translation>Year must be in the range 00-99</translation>
    </message>
    <message>
        <source>开路</source>
        <translation>open</translation>
    </message>
    <message>
        <source>心跳包时间间隔超范围，请重新输入</source>
        <translation>Heart-beat interval out of range, please re-enter</translation>
    </message>
    <message>
        <source>心跳抖动(s)</source>
        <translation>Heart-beat jitter (s)</translation>
    </message>
    <message>
        <source>心跳间隔(s)</source>
        <translation>Heart-beat interval (s)</translation>
    </message>
    <message>
        <source>成功！</source>
        <translation> succeeded!</translation>
    </message>
    <message>
        <source>手机号:</source>
        <translation>Phone number:</translation>
    </message>
    <message>
        <source>打开串口</source>
        <translation>Open serial port</translation>
    </message>
    <message>
        <source>报错</source>
        <translation>error</translation>
    </message>
    <message>
        <source>排队中</source>
        <translation>queued</translation>
    </message>
    <message>
        <source>提示信息:</source>
        <translation>Info: </translation>
    </message>
    <message>
        <source>提示信息:%1已取消！</source>
        <translation>Info: %1 cancelled!</translation>
    </message>
    <message>
        <source>提示信息:%1已被新的请求取代！</source>
        <translation>Info: %1 replaced by a newer request!</translation>
    </message>
    <message>
        <source>提示信息:%1已过期！</source>
        <translation>Info: %1 expired!</translation>
    </message>
    <message>
        <source>提示信息:%1未执行：%2！</source>
        <translation>Info: %1 not carried out: %2!</translation>
    </message>
    <message>
        <source>提示信息:%1超时，终端没有应答！</source>
        <translation>Info: %1 timed out, the terminal did not answer!</translation>
    </message>
    <message>
        <source>提示信息:上传采集器数据通讯成功！</source>
        <translation>Info: Collector data upload: communication succeeded!</translation>
    </message>
    <message>
        <source>提示信息:串口已断开，请重新设置串口！</source>
        <translation>Info: Serial port disconnected, please set up the serial port again!</translation>
    </message>
    <message>
        <source>提示信息:主机响应握手成功！</source>
        <translation>Info: Handshake with host succeeded!</translation>
    </message>
    <message>
        <source>提示信息:准备</source>
        <translation>Info: Preparing: </translation>
    </message>
    <message>
        <source>提示信息:准备读取室温采集终端配置参数。。。</source>
        <translation>Info: Preparing to read terminal configuration...</translation>
    </message>
    <message>
        <source>提示信息:室温采集终端主动上传数据通讯成功！</source>
        <translation>Info: Room-temperature terminal upload: communication succeeded!</translation>
    </message>
    <message>
        <source>提示信息:应答心跳包失败！</source>
        <translation>Info: Failed to answer heart beat!</translation>
    </message>
    <message>
        <source>提示信息:应答心跳包成功！</source>
        <translation>Info: Heart beat answered!</translation>
    </message>
    <message>
        <source>提示信息:握手失败，CRC校验错误！</source>
        <translation>Info: Handshake failed, CRC check error!</translation>
    </message>
    <message>
        <source>提示信息:数据上传结束，但上位机不进行任何设置！</source>
        <translation>Info: Data upload finished; the host changes no settings!</translation>
    </message>
    <message>
        <source>提示信息:数据上传结束，并发送设置指令！</source>
        <translation>Info: Data upload finished, setting commands sent!</translation>
    </message>
    <message>
        <source>提示信息:数据上传结束，并进入实时采集模式！</source>
        <translation>Info: Data upload finished, entering real-time acquisition mode!</translation>
    </message>
    <message>
        <source>提示信息:日志无法写入：</source>
        <translation>Info: Log cannot be written: </translation>
    </message>
    <message>
        <source>提示信息:时间校准失败！</source>
        <translation>Info: Clock calibration failed!</translation>
    </message>
    <message>
        <source>提示信息:时间校准成功！</source>
        <translation>Info: Clock calibrated successfully!</translation>
    </message>
    <message>
        <source>提示信息:未连接服务器，请先连接！</source>
        <translation>Info: not connected to the broker, connect first!</translation>
    </message>
    <message>
        <source>提示信息:正在</source>
        <translation>Info: In progress: </translation>
    </message>
    <message>
        <source>提示信息:正在设置Velmar内部IP和端口。。。</source>
        <translation>Info: Setting Velmar internal IP and port...</translation>
    </message>
    <message>
        <source>提示信息:正在设置备用IP和端口。。。</source>
        <translation>Info: Setting spare IP and port...</translation>
    </message>
    <message>
        <source>提示信息:正在设置实时日期与时间。。。</source>
        <translation>Info: Setting real-time date and time...</translation>
    </message>
    <message>
        <source>提示信息:正在设置心跳包时间间隔。。。</source>
        <translation>Info: Setting heart-beat interval...</translation>
    </message>
    <message>
        <source>提示信息:正在设置是否休眠。。。</source>
        <translation>Info: Setting sleep...</translation>
    </message>
    <message>
        <source>提示信息:正在设置条形码。。。</source>
        <translation>Info: Setting bar code...</translation>
    </message>
    <message>
        <source>提示信息:正在设置通讯类型。。。</source>
        <translation>Info: Setting communication type...</translation>
    </message>
    <message>
        <source>提示信息:正在设置采集数据时间间隔。。。</source>
        <translation>Info: Setting acquisition interval...</translation>
    </message>
    <message>
        <source>提示信息:正在读取Velmar内部IP和端口。。。</source>
        <translation>Info: Reading Velmar internal IP and port...</translation>
    </message>
    <message>
        <source>提示信息:正在读取备用IP和端口。。。</source>
        <translation>Info: Reading spare IP and port...</translation>
    </message>
    <message>
        <source>提示信息:正在读取实时温度湿度。。。</source>
        <translation>Info: Reading live temperature and humidity...</translation>
    </message>
    <message>
        <source>提示信息:正在读取条形码。。。</source>
        <translation>Info: Reading bar code...</translation>
    </message>
    <message>
        <source>提示信息:正在读取读取室温采集终端配置参数。。。</source>
        <translation>Info: Reading terminal configuration...</translation>
    </message>
    <message>
        <source>提示信息:正在配置上传数据时间间隔。。。</source>
        <translation>Info: Configuring upload interval...</translation>
    </message>
    <message>
        <source>提示信息:正在配置静默参数。。。</source>
        <translation>Info: Configuring silence period...</translation>
    </message>
    <message>
        <source>提示信息:自动上传数据无效,数据长度不够！</source>
        <translation>Info: Automatic upload data invalid, data too short!</translation>
    </message>
    <message>
        <source>提示信息:自动上传数据无效,起始码或结束码错误！</source>
        <translation>Info: Automatic upload data invalid, wrong start or end code!</translation>
    </message>
    <message>
        <source>提示信息:设置Velmar内部IP和端口失败，功能码错误！</source>
        <translation>Info: Failed to set Velmar internal IP and port, wrong function code!</translation>
    </message>
    <message>
        <source>提示信息:设置Velmar内部IP和端口成功！</source>
        <translation>Info: Velmar internal IP and port set successfully!</translation>
    </message>
    <message>
        <source>提示信息:设置内部VelmarIp和端口失败！</source>
        <translation>Info: Failed to set internal Velmar IP and port!</translation>
    </message>
    <message>
        <source>提示信息:设置内部VelmarIp和端口成功！</source>
        <translation>Info: Internal Velmar IP and port set successfully!</translation>
    </message>
    <message>
        <source>提示信息:设置备用IP和端口失败，功能码错误！</source>
        <translation>Info: Failed to set spare IP and port, wrong function code!</translation>
    </message>
    <message>
        <source>提示信息:设置备用IP和端口成功！</source>
        <translation>Info: Spare IP and port set successfully!</translation>
    </message>
    <message>
        <source>提示信息:设置备用Ip和端口失败！</source>
        <translation>Info: Failed to set spare IP and port!</translation>
    </message>
    <message>
        <source>提示信息:设置备用Ip和端口成功！</source>
        <translation>Info: Spare IP and port set successfully!</translation>
    </message>
    <message>
        <source>提示信息:设置条形码失败！</source>
        <translation>Info: Failed to set bar code!</translation>
    </message>
    <message>
        <source>提示信息:设置条形码失败，功能码错误！</source>
        <translation>Info: Failed to set bar code, wrong function code!</translation>
    </message>
    <message>
        <source>提示信息:设置条形码成功！</source>
        <translation>Info: Bar code set successfully!</translation>
    </message>
    <message>
        <source>提示信息:设置集抄器上传数据时间间隔失败！</source>
        <translation>Info: Failed to set concentrator upload interval!</translation>
    </message>
    <message>
        <source>提示信息:设置集抄器上传数据时间间隔成功！</source>
        <translation>Info: Concentrator upload interval set successfully!</translation>
    </message>
    <message>
        <source>提示信息:设置集抄器水表地址失败！</source>
        <translation>Info: Failed to set concentrator water-meter address!</translation>
    </message>
    <message>
        <source>提示信息:设置集抄器水表地址成功！</source>
        <translation>Info: Concentrator water-meter address set successfully!</translation>
    </message>
    <message>
        <source>提示信息:设置集抄器水表类型失败！</source>
        <translation>Info: Failed to set concentrator water-meter type!</translation>
    </message>
    <message>
        <source>提示信息:设置集抄器水表类型成功！</source>
        <translation>Info: Concentrator water-meter type set successfully!</translation>
    </message>
    <message>
        <source>提示信息:设置集抄器采集数据及心跳包时间间隔失败！</source>
        <translation>Info: Failed to set concentrator acquisition and heart-beat intervals!</translation>
    </message>
    <message>
        <source>提示信息:设置集抄器采集数据及心跳包时间间隔成功！</source>
        <translation>Info: Concentrator acquisition and heart-beat intervals set successfully!</translation>
    </message>
    <message>
        <source>提示信息:设置集抄器采集数据波特率及奇偶校验位失败！</source>
        <translation>Info: Failed to set concentrator acquisition baud rate and parity!</translation>
    </message>
    <message>
        <source>提示信息:设置集抄器采集数据波特率及奇偶校验位成功！</source>
        <translation>Info: Concentrator acquisition baud rate and parity set successfully!</translation>
    </message>
    <message>
        <source>提示信息:请等待握手成功再操作。。。</source>
        <translation>Info: Please wait for the handshake before operating...</translation>
    </message>
    <message>
        <source>提示信息:读取Velmar内部IP和端口失败！</source>
        <translation>Info: Failed to read Velmar internal IP and port!</translation>
    </message>
    <message>
        <source>提示信息:读取Velmar内部IP和端口失败，功能码错误！</source>
        <translation>Info: Failed to read Velmar internal IP and port, wrong function code!</translation>
    </message>
    <message>
        <source>提示信息:读取Velmar内部IP和端口成功！</source>
        <translation>Info: Velmar internal IP and port read successfully!</translation>
    </message>
    <message>
        <source>提示信息:读取备用IP和端口失败！</source>
        <translation>Info: Failed to read spare IP and port!</translation>
    </message>
    <message>
        <source>提示信息:读取备用IP和端口失败，功能码错误！</source>
        <translation>Info: Failed to read spare IP and port, wrong function code!</translation>
    </message>
    <message>
        <source>提示信息:读取备用IP和端口成功！</source>
        <translation>Info: Spare IP and port read successfully!</translation>
    </message>
    <message>
        <source>提示信息:读取实时温度湿度失败！</source>
        <translation>Info: Failed to read live temperature and humidity!</translation>
    </message>
    <message>
        <source>提示信息:读取实时温度湿度成功！</source>
        <translation>Info: Live temperature and humidity read successfully!</translation>
    </message>
    <message>
        <source>提示信息:读取数据上传方式失败！</source>
        <translation>Info: Failed to read data upload mode!</translation>
    </message>
    <message>
        <source>提示信息:读取数据上传方式成功！</source>
        <translation>Info: Data upload mode read successfully!</translation>
    </message>
    <message>
        <source>提示信息:读取条形码失败！</source>
        <translation>Info: Failed to read bar code!</translation>
    </message>
    <message>
        <source>提示信息:读取条形码失败，功能码错误！</source>
        <translation>Info: Failed to read bar code, wrong function code!</translation>
    </message>
    <message>
        <source>提示信息:读取条形码成功！</source>
        <translation>Info: Bar code read successfully!</translation>
    </message>
    <message>
        <source>提示信息:读取采集器程序版本号失败！</source>
        <translation>Info: Failed to read collector firmware version!</translation>
    </message>
    <message>
        <source>提示信息:读取采集器程序版本号成功！</source>
        <translation>Info: Collector firmware version read successfully!</translation>
    </message>
    <message>
        <source>提示信息:读取采集终端参数配置失败！</source>
        <translation>Info: Failed to read terminal configuration!</translation>
    </message>
    <message>
        <source>提示信息:读取采集终端参数配置成功！</source>
        <translation>Info: Terminal configuration read successfully!</translation>
    </message>
    <message>
        <source>提示信息:读取静默参数失败！</source>
        <translation>Info: Failed to read silence period!</translation>
    </message>
    <message>
        <source>提示信息:读取静默参数成功！</source>
        <translation>Info: Silence period read successfully!</translation>
    </message>
    <message>
        <source>提示信息:读数库无法写入：</source>
        <translation>Info: Readings file cannot be written: </translation>
    </message>
    <message>
        <source>提示信息:通讯失败！</source>
        <translation>Info: Communication failed!</translation>
    </message>
    <message>
        <source>提示信息:通讯失败，CRC校验错误！</source>
        <translation>Info: Communication failed, CRC check error!</translation>
    </message>
    <message>
        <source>提示信息:配置静默参数失败！</source>
        <translation>Info: Failed to configure silence period!</translation>
    </message>
    <message>
        <source>提示信息:配置静默参数成功！</source>
        <translation>Info: Silence period configured successfully!</translation>
    </message>
    <message>
        <source>提示信息:集抄器设置数据上传方式失败！</source>
        <translation>Info: Failed to set concentrator data upload mode!</translation>
    </message>
    <message>
        <source>提示信息:集抄器设置数据上传方式成功！</source>
        <translation>Info: Concentrator data upload mode set successfully!</translation>
    </message>
    <message>
        <source>提示信息:集抄器设置采集模式失败！</source>
        <translation>Info: Failed to set concentrator acquisition mode!</translation>
    </message>
    <message>
        <source>提示信息:集抄器设置采集模式成功！</source>
        <translation>Info: Concentrator acquisition mode set successfully!</translation>
    </message>
    <message>
        <source>提示信息:集抄器读取上传数据时间间隔失败！</source>
        <translation>Info: Failed to read concentrator upload interval!</translation>
    </message>
    <message>
        <source>提示信息:集抄器读取上传数据时间间隔成功！</source>
        <translation>Info: Concentrator upload interval read successfully!</translation>
    </message>
    <message>
        <source>提示信息:集抄器读取采集数据及心跳包时间间隔失败！</source>
        <translation>Info: Failed to read concentrator acquisition and heart-beat intervals!</translation>
    </message>
    <message>
        <source>提示信息:集抄器读取采集数据及心跳包时间间隔成功！</source>
        <translation>Info: Concentrator acquisition and heart-beat intervals read successfully!</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Operation</translation>
    </message>
    <message>
        <source>数据中心IP地址</source>
        <translation>Data centre IP address</translation>
    </message>
    <message>
        <source>数据库未打开</source>
        <translation>Database not open</translation>
    </message>
    <message>
        <source>数据库版本 %1 高于本程序支持的版本 %2</source>
        <translation>Database version %1 is newer than the supported version %2</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Disconnected </translation>
    </message>
    <message>
        <source>无法保存图片：</source>
        <translation>Cannot save image: </translation>
    </message>
    <message>
        <source>无法写入 </source>
        <translation>Cannot write </translation>
    </message>
    <message>
        <source>无法准备语句</source>
        <translation>Cannot prepare statement</translation>
    </message>
    <message>
        <source>无法切换到 WAL 日志模式</source>
        <translation>Cannot switch to WAL journal mode</translation>
    </message>
    <message>
        <source>无法创建文件夹 </source>
        <translation>Cannot create folder </translation>
    </message>
    <message>
        <source>无法建立文件夹 </source>
        <translation>Cannot create the folder </translation>
    </message>
    <message>
        <source>无法打开读数库 </source>
        <translation>Cannot open readings file </translation>
    </message>
    <message>
        <source>无法显示读数：</source>
        <translation>Cannot show readings: </translation>
    </message>
    <message>
        <source>无法设置日志模式</source>
        <translation>Cannot set journal mode</translation>
    </message>
    <message>
        <source>无法读取终端列表：</source>
        <translation>Cannot read terminal list: </translation>
    </message>
    <message>
        <source>无法读取读数库 </source>
        <translation>Cannot read readings file </translation>
    </message>
    <message>
        <source>无法读取读数库 %1：%2</source>
        <translation>Cannot read readings file %1: %2</translation>
    </message>
    <message>
        <source>无法读取读数：</source>
        <translation>Cannot read readings: </translation>
    </message>
    <message>
        <source>无法连接：</source>
        <translation>Cannot connect: </translation>
    </message>
    <message>
        <source>无线室温采集终端</source>
        <translation>Wireless room-temperature terminal</translation>
    </message>
    <message>
        <source>日</source>
        <translation> d</translation>
    </message>
    <message>
        <source>日必须1-28</source>
        <translation>Day must be 1-28</translation>
    </message>
    <message>
        <source>日必须1-29</source>
        <translation>Day must be 1-29</translation>
    </message>
    <message>
        <source>日必须1-30</source>
        <translation>Day must be 1-30</translation>
    </message>
    <message>
        <source>日必须1-31</source>
        <translation>Day must be 1-31</translation>
    </message>
    <message>
        <source>日必须为整数</source>
        <translation>Day must be an integer</translation>
    </message>
    <message>
        <source>时</source>
        <translation> h</translation>
    </message>
    <message>
        <source>时钟偏差(s)</source>
        <translation>Clock offset (s)</translation>
    </message>
    <message>
        <source>显示 %1 / 共 %2 个终端，在线 %3</source>
        <translation>Showing %1 / total %2 terminals, online %3</translation>
    </message>
    <message>
        <source>显示报文</source>
        <translation>Show frames</translation>
    </message>
    <message>
        <source>最后出现</source>
        <translation>Last seen</translation>
    </message>
    <message>
        <source>月</source>
        <translation> mo</translation>
    </message>
    <message>
        <source>月必须1-12</source>
        <translation>Month must be 1-12</translation>
    </message>
    <message>
        <source>月必须为数字</source>
        <translation>Month must be a number</translation>
    </message>
    <message>
        <source>月必须为整数</source>
        <translation>Month must be an integer</translation>
    </message>
    <message>
        <source>服务器地址应为 mqtt://主机:端口 或 mqtts://主机:端口</source>
        <translation>The broker URL must be mqtt://host:port or mqtts://host:port</translation>
    </message>
    <message>
        <source>服务器拒绝连接：%1</source>
        <translation>The broker refused the connection: %1</translation>
    </message>
    <message>
        <source>服务器拒绝连接：用户名或密码错误（%1）</source>
        <translation>The broker refused the connection: wrong user name or password (%1)</translation>
    </message>
    <message>
        <source>未断</source>
        <translation>intact</translation>
    </message>
    <message>
        <source>未短</source>
        <translation>not shorted</translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>条形码</source>
        <translation>Bar code</translation>
    </message>
    <message>
        <source>条形码应该为13位</source>
        <translation>Bar code must have 13 digits</translation>
    </message>
    <message>
        <source>欠压</source>
        <translation>low voltage</translation>
    </message>
    <message>
        <source>欠压标志:</source>
        <translation>Low-voltage flag:</translation>
    </message>
    <message>
        <source>正在导出…</source>
        <translation>Exporting…</translation>
    </message>
    <message>
        <source>正在读取终端 %1 的读数…</source>
        <translation>Loading readings of terminal %1…</translation>
    </message>
    <message>
        <source>正在连接 %1…</source>
        <translation>Connecting to %1…</translation>
    </message>
    <message>
        <source>正在连接 %1…（%2）</source>
        <translation>Connecting to %1… (%2)</translation>
    </message>
    <message>
        <source>正常</source>
        <translation>normal</translation>
    </message>
    <message>
        <source>正温差</source>
        <translation>positive</translation>
    </message>
    <message>
        <source>没有成功，请重试</source>
        <translation>Not successful, please try again</translation>
    </message>
    <message>
        <source>没有读数</source>
        <translation>No readings</translation>
    </message>
    <message>
        <source>注册</source>
        <translation>Registered </translation>
    </message>
    <message>
        <source>流量标志:</source>
        <translation>Flow flag:</translation>
    </message>
    <message>
        <source>清空报文</source>
        <translation>Clear frames</translation>
    </message>
    <message>
        <source>清空接收区</source>
        <translation>Clear receive area</translation>
    </message>
    <message>
        <source>温差标志:</source>
        <translation>Temperature difference flag:</translation>
    </message>
    <message>
        <source>温度(℃)</source>
        <translation>Temperature (℃)</translation>
    </message>
    <message>
        <source>温度:</source>
        <translation>Temperature:</translation>
    </message>
    <message>
        <source>温湿度曲线 - </source>
        <translation>Temperature/humidity chart - </translation>
    </message>
    <message>
        <source>湿度(%RH)</source>
        <translation>Humidity (%RH)</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>电池(V)</source>
        <translation>Battery (V)</translation>
    </message>
    <message>
        <source>电池电压:</source>
        <translation>Battery voltage:</translation>
    </message>
    <message>
        <source>界面语言将在下次启动时生效。</source>
        <translation>The language takes effect at the next start.</translation>
    </message>
    <message>
        <source>短路</source>
        <translation>shorted</translation>
    </message>
    <message>
        <source>离线</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>秒必须0-59</source>
        <translation>Seconds must be 0-59</translation>
    </message>
    <message>
        <source>秒必须为数字</source>
        <translation>Seconds must be a number</translation>
    </message>
    <message>
        <source>秒必须为整数</source>
        <translation>Seconds must be an integer</translation>
    </message>
    <message>
        <source>程序版本</source>
        <translation>Program version</translation>
    </message>
    <message>
        <source>端口号必须为数值</source>
        <translation>Port number must be numeric</translation>
    </message>
    <message>
        <source>端口号必须在0到65535之间!</source>
        <translation>Port number must be between 0 and 65535!</translation>
    </message>
    <message>
        <source>端口号数值不正确，请重新输入</source>
        <translation>Port number is invalid, please re-enter</translation>
    </message>
    <message>
        <source>等待终端 %1 的读数…</source>
        <translation>Waiting for readings of terminal %1…</translation>
    </message>
    <message>
        <source>管道装反:</source>
        <translation>Pipes reversed:</translation>
    </message>
    <message>
        <source>系统提示</source>
        <translation>System message</translation>
    </message>
    <message>
        <source>系统提示:</source>
        <translation>System message:</translation>
    </message>
    <message>
        <source>编号</source>
        <translation>Id</translation>
    </message>
    <message>
        <source>网络连接日志</source>
        <translation>Network connection log</translation>
    </message>
    <message>
        <source>自动清空</source>
        <translation>Auto clear</translation>
    </message>
    <message>
        <source>节点</source>
        <translation>Node</translation>
    </message>
    <message>
        <source>装反</source>
        <translation>reversed</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>记录时间</source>
        <translation>Record time</translation>
    </message>
    <message>
        <source>设置IP和端口</source>
        <translation>Set IP and port</translation>
    </message>
    <message>
        <source>设置Velmar内部IP和端口</source>
        <translation>Set Velmar internal IP and port</translation>
    </message>
    <message>
        <source>设置上传数据时间间隔</source>
        <translation>Set upload interval</translation>
    </message>
    <message>
        <source>设置备用IP和端口</source>
        <translation>Set spare IP and port</translation>
    </message>
    <message>
        <source>设置实时日期与时间</source>
        <translation>Set real-time date and time</translation>
    </message>
    <message>
        <source>设置心跳包时间间隔</source>
        <translation>Set heart-beat interval</translation>
    </message>
    <message>
        <source>设置是否休眠</source>
        <translation>Set sleep</translation>
    </message>
    <message>
        <source>设置条形码</source>
        <translation>Set bar code</translation>
    </message>
    <message>
        <source>设置通讯类型</source>
        <translation>Set communication type</translation>
    </message>
    <message>
        <source>设置采集数据时间间隔</source>
        <translation>Set acquisition interval</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>请先停止服务!</source>
        <translation>Please stop the service first!</translation>
    </message>
    <message>
        <source>请先设置串口！</source>
        <translation>Please set up the serial port first!</translation>
    </message>
    <message>
        <source>请先读取或输入条形码</source>
        <translation>Please read or enter a bar code first</translation>
    </message>
    <message>
        <source>请输入IP和端口</source>
        <translation>Please enter IP and port</translation>
    </message>
    <message>
        <source>请输入上传数据时间间隔</source>
        <translation>Please enter the upload interval</translation>
    </message>
    <message>
        <source>请输入备用IP和端口</source>
        <translation>Please enter spare IP and port</translation>
    </message>
    <message>
        <source>请输入条形码</source>
        <translation>Please enter the bar code</translation>
    </message>
    <message>
        <source>请输入起始月日及中止月日</source>
        <translation>Please enter the start month/day and end month/day</translation>
    </message>
    <message>
        <source>请输入采集数据时间间隔</source>
        <translation>Please enter the acquisition interval</translation>
    </message>
    <message>
        <source>请输入需要配置模块的IP地址和端口号！</source>
        <translation>Please enter the IP address and port number of the module to configure!</translation>
    </message>
    <message>
        <source>请选择要通讯设备的条形码</source>
        <translation>Please select the bar code of the device to communicate with</translation>
    </message>
    <message>
        <source>读取IP和端口</source>
        <translation>Read IP and port</translation>
    </message>
    <message>
        <source>读取Velmar内部IP和端口</source>
        <translation>Read Velmar internal IP and port</translation>
    </message>
    <message>
        <source>读取备用IP和端口</source>
        <translation>Read spare IP and port</translation>
    </message>
    <message>
        <source>读取实时温度湿度</source>
        <translation>Read live temperature and humidity</translation>
    </message>
    <message>
        <source>读取室温采集终端配置参数</source>
        <translation>Read terminal configuration</translation>
    </message>
    <message>
        <source>读取已取消</source>
        <translation>Reading cancelled</translation>
    </message>
    <message>
        <source>读取条形码</source>
        <translation>Read bar code</translation>
    </message>
    <message>
        <source>读数</source>
        <translation>Readings</translation>
    </message>
    <message>
        <source>读数保留期限</source>
        <translation>Readings retention</translation>
    </message>
    <message>
        <source>读数库不存在：</source>
        <translation>Readings file does not exist: </translation>
    </message>
    <message>
        <source>读数库中没有终端 %1 的读数</source>
        <translation>The readings file has no readings of terminal %1</translation>
    </message>
    <message>
        <source>负温差</source>
        <translation>negative</translation>
    </message>
    <message>
        <source>起始日设置错误</source>
        <translation>Invalid start day</translation>
    </message>
    <message>
        <source>起始月设置错误</source>
        <translation>Invalid start month</translation>
    </message>
    <message>
        <source>进水铂电阻断线标志:</source>
        <translation>Supply Pt resistor break flag:</translation>
    </message>
    <message>
        <source>进水铂电阻短路标志:</source>
        <translation>Supply Pt resistor short flag:</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>连接中断，正在重新连接 %1…（%2）</source>
        <translation>Connection lost, reconnecting to %1… (%2)</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>通讯报文</source>
        <translation>Communication frames</translation>
    </message>
    <message>
        <source>通道</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>逾期</source>
        <translation>Overdue</translation>
    </message>
    <message>
        <source>配置上传数据时间间隔</source>
        <translation>Configure upload interval</translation>
    </message>
    <message>
        <source>配置静默参数</source>
        <translation>Configure silence period</translation>
    </message>
    <message>
        <source>采集数据时间间隔超范围，请重新输入</source>
        <translation>Acquisition interval out of range, please re-enter</translation>
    </message>
    <message>
        <source>采集数量:</source>
        <translation>Sample count:</translation>
    </message>
    <message>
        <source>采集间隔:</source>
        <translation>Acquisition interval:</translation>
    </message>
    <message>
        <source>错误代码:</source>
        <translation>Error code:</translation>
    </message>
    <message>
        <source>错误号：%1
错误描述：%2</source>
        <translation>Error number: %1
Error description: %2</translation>
    </message>
    <message>
        <source>首次出现</source>
        <translation>First seen</translation>
    </message>
    <message>
        <source>：</source>
        <translation>: </translation>
    </message>
    <message>
        <source>；等待写入的记录过多，已丢弃最早的 %1 条</source>
        <translation>; too many records waiting to be written, dropped the oldest %1</translation>
    </message>
</context>
<context>
    <name>Words</name>
    <message>
        <source>设置集抄器采集数据波特率及奇偶校验位失败！</source>
        <translation> Failed to set concentrator acquisition baud rate and parity!</translation>
    </message>
    <message>
        <source>设置集抄器采集数据波特率及奇偶校验位成功！</source>
        <translation> Concentrator acquisition baud rate and parity set successfully!</translation>
    </message>
    <message>
        <source>设置集抄器采集数据及心跳包时间间隔失败！</source>
        <translation> Failed to set concentrator acquisition and heart-beat intervals!</translation>
    </message>
    <message>
        <source>设置集抄器采集数据及心跳包时间间隔成功！</source>
        <translation> Concentrator acquisition and heart-beat intervals set successfully!</translation>
    </message>
    <message>
        <source>集抄器读取采集数据及心跳包时间间隔失败！</source>
        <translation> Failed to read concentrator acquisition and heart-beat intervals!</translation>
    </message>
    <message>
        <source>集抄器读取采集数据及心跳包时间间隔成功！</source>
        <translation> Concentrator acquisition and heart-beat intervals read successfully!</translation>
    </message>
    <message>
        <source>数据上传结束，但上位机不进行任何设置！</source>
        <translation> Data upload finished; the host changes no settings!</translation>
    </message>
    <message>
        <source>正在读取读取室温采集终端配置参数。。。</source>
        <translation> Reading terminal configuration...</translation>
    </message>
    <message>
        <source>上传数据时间间隔超范围，请重新输入</source>
        <translation>Upload interval out of range, please re-enter</translation>
    </message>
    <message>
        <source>准备读取室温采集终端配置参数。。。</source>
        <translation> Preparing to read terminal configuration...</translation>
    </message>
    <message>
        <source>室温采集终端主动上传数据通讯成功！</source>
        <translation> Room-temperature terminal upload: communication succeeded!</translation>
    </message>
    <message>
        <source>数据上传结束，并进入实时采集模式！</source>
        <translation> Data upload finished, entering real-time acquisition mode!</translation>
    </message>
    <message>
        <source>服务器拒绝连接：用户名或密码错误（</source>
        <translation>The broker refused the connection: wrong user name or password (</translation>
    </message>
    <message>
        <source>采集数据时间间隔超范围，请重新输入</source>
        <translation>Acquisition interval out of range, please re-enter</translation>
    </message>
    <message>
        <source>；等待写入的记录过多，已丢弃最早的</source>
        <translation>; too many records waiting to be written, dropped the oldest</translation>
    </message>
    <message>
        <source>备用端口号数值不正确，请重新输入</source>
        <translation>Spare port number is invalid, please re-enter</translation>
    </message>
    <message>
        <source>心跳包时间间隔超范围，请重新输入</source>
        <translation>Heart-beat interval out of range, please re-enter</translation>
    </message>
    <message>
        <source>设置集抄器上传数据时间间隔失败！</source>
        <translation> Failed to set concentrator upload interval!</translation>
    </message>
    <message>
        <source>设置集抄器上传数据时间间隔成功！</source>
        <translation> Concentrator upload interval set successfully!</translation>
    </message>
    <message>
        <source>集抄器读取上传数据时间间隔失败！</source>
        <translation> Failed to read concentrator upload interval!</translation>
    </message>
    <message>
        <source>集抄器读取上传数据时间间隔成功！</source>
        <translation> Concentrator upload interval read successfully!</translation>
    </message>
    <message>
        <source>数据上传结束，并发送设置指令！</source>
        <translation> Data upload finished, setting commands sent!</translation>
    </message>
    <message>
        <source>正在设置采集数据时间间隔。。。</source>
        <translation> Setting acquisition interval...</translation>
    </message>
    <message>
        <source>正在配置上传数据时间间隔。。。</source>
        <translation> Configuring upload interval...</translation>
    </message>
    <message>
        <source>串口已断开，请重新设置串口！</source>
        <translation> Serial port disconnected, please set up the serial port again!</translation>
    </message>
    <message>
        <source>正在设置实时日期与时间。。。</source>
        <translation> Setting real-time date and time...</translation>
    </message>
    <message>
        <source>正在设置心跳包时间间隔。。。</source>
        <translation> Setting heart-beat interval...</translation>
    </message>
    <message>
        <source>界面语言将在下次启动时生效。</source>
        <translation>The language takes effect at the next start.</translation>
    </message>
    <message>
        <source>端口号数值不正确，请重新输入</source>
        <translation>Port number is invalid, please re-enter</translation>
    </message>
    <message>
        <source>设置条形码失败，功能码错误！</source>
        <translation> Failed to set bar code, wrong function code!</translation>
    </message>
    <message>
        <source>读取条形码失败，功能码错误！</source>
        <translation> Failed to read bar code, wrong function code!</translation>
    </message>
    <message>
        <source>集抄器设置数据上传方式失败！</source>
        <translation> Failed to set concentrator data upload mode!</translation>
    </message>
    <message>
        <source>集抄器设置数据上传方式成功！</source>
        <translation> Concentrator data upload mode set successfully!</translation>
    </message>
    <message>
        <source>正在读取实时温度湿度。。。</source>
        <translation> Reading live temperature and humidity...</translation>
    </message>
    <message>
        <source>请等待握手成功再操作。。。</source>
        <translation> Please wait for the handshake before operating...</translation>
    </message>
    <message>
        <source>读取采集器程序版本号失败！</source>
        <translation> Failed to read collector firmware version!</translation>
    </message>
    <message>
        <source>读取采集器程序版本号成功！</source>
        <translation> Collector firmware version read successfully!</translation>
    </message>
    <message>
        <source>读取采集终端参数配置失败！</source>
        <translation> Failed to read terminal configuration!</translation>
    </message>
    <message>
        <source>读取采集终端参数配置成功！</source>
        <translation> Terminal configuration read successfully!</translation>
    </message>
    <message>
        <source>上传采集器数据通讯成功！</source>
        <translation> Collector data upload: communication succeeded!</translation>
    </message>
    <message>
        <source>不是本程序的读数库（版本</source>
        <translation>is not a readings file of this program (version</translation>
    </message>
    <message>
        <source>和端口失败，功能码错误！</source>
        <translation> and port failed, wrong function code!</translation>
    </message>
    <message>
        <source>室温采集终端主动上传数据</source>
        <translation>Room-temperature terminal upload</translation>
    </message>
    <message>
        <source>无线室温采集终端测试软件</source>
        <translation> wireless room-temperature terminal test software </translation>
    </message>
    <message>
        <source>未连接服务器，请先连接！</source>
        <translation>not connected to the broker, connect first!</translation>
    </message>
    <message>
        <source>设置集抄器水表地址失败！</source>
        <translation> Failed to set concentrator water-meter address!</translation>
    </message>
    <message>
        <source>设置集抄器水表地址成功！</source>
        <translation> Concentrator water-meter address set successfully!</translation>
    </message>
    <message>
        <source>设置集抄器水表类型失败！</source>
        <translation> Failed to set concentrator water-meter type!</translation>
    </message>
    <message>
        <source>设置集抄器水表类型成功！</source>
        <translation> Concentrator water-meter type set successfully!</translation>
    </message>
    <message>
        <source>请输入起始月日及中止月日</source>
        <translation>Please enter the start month/day and end month/day</translation>
    </message>
    <message>
        <source>请选择要通讯设备的条形码</source>
        <translation>Please select the bar code of the device to communicate with</translation>
    </message>
    <message>
        <source>读取室温采集终端配置参数</source>
        <translation>Read terminal configuration</translation>
    </message>
    <message>
        <source>集抄器设置采集模式失败！</source>
        <translation> Failed to set concentrator acquisition mode!</translation>
    </message>
    <message>
        <source>集抄器设置采集模式成功！</source>
        <translation> Concentrator acquisition mode set successfully!</translation>
    </message>
    <message>
        <source>保留最近多少天的读数（</source>
        <translation>Days of readings to keep (</translation>
    </message>
    <message>
        <source>数值不正确，请重新输入</source>
        <translation> value is invalid, please re-enter</translation>
    </message>
    <message>
        <source>正在设置是否休眠。。。</source>
        <translation> Setting sleep...</translation>
    </message>
    <message>
        <source>正在设置通讯类型。。。</source>
        <translation> Setting communication type...</translation>
    </message>
    <message>
        <source>正在配置静默参数。。。</source>
        <translation> Configuring silence period...</translation>
    </message>
    <message>
        <source>请输入上传数据时间间隔</source>
        <translation>Please enter the upload interval</translation>
    </message>
    <message>
        <source>请输入采集数据时间间隔</source>
        <translation>Please enter the acquisition interval</translation>
    </message>
    <message>
        <source>读取实时温度湿度失败！</source>
        <translation> Failed to read live temperature and humidity!</translation>
    </message>
    <message>
        <source>读取实时温度湿度成功！</source>
        <translation> Live temperature and humidity read successfully!</translation>
    </message>
    <message>
        <source>读取数据上传方式失败！</source>
        <translation> Failed to read data upload mode!</translation>
    </message>
    <message>
        <source>读取数据上传方式成功！</source>
        <translation> Data upload mode read successfully!</translation>
    </message>
    <message>
        <source>连接中断，正在重新连接</source>
        <translation>Connection lost, reconnecting to</translation>
    </message>
    <message>
        <source>地址或端口号不能为空</source>
        <translation> address or port number must not be empty</translation>
    </message>
    <message>
        <source>接收到的热表设备地址</source>
        <translation>Received heat meter address</translation>
    </message>
    <message>
        <source>正在设置条形码。。。</source>
        <translation> Setting bar code...</translation>
    </message>
    <message>
        <source>正在读取条形码。。。</source>
        <translation> Reading bar code...</translation>
    </message>
    <message>
        <source>设置上传数据时间间隔</source>
        <translation>Set upload interval</translation>
    </message>
    <message>
        <source>设置采集数据时间间隔</source>
        <translation>Set acquisition interval</translation>
    </message>
    <message>
        <source>请先读取或输入条形码</source>
        <translation>Please read or enter a bar code first</translation>
    </message>
    <message>
        <source>请输入需要配置模块的</source>
        <translation>Please enter the </translation>
    </message>
    <message>
        <source>起始码或结束码错误！</source>
        <translation> wrong start or end code!</translation>
    </message>
    <message>
        <source>超时，终端没有应答！</source>
        <translation> timed out, the terminal did not answer!</translation>
    </message>
    <message>
        <source>配置上传数据时间间隔</source>
        <translation>Configure upload interval</translation>
    </message>
    <message>
        <source>高于本程序支持的版本</source>
        <translation>is newer than the supported version</translation>
    </message>
    <message>
        <source>主机响应握手成功！</source>
        <translation> Handshake with host succeeded!</translation>
    </message>
    <message>
        <source>回水铂电阻断线标志</source>
        <translation>Return Pt resistor break flag</translation>
    </message>
    <message>
        <source>回水铂电阻短路标志</source>
        <translation>Return Pt resistor short flag</translation>
    </message>
    <message>
        <source>失败，功能码错误！</source>
        <translation> failed, wrong function code!</translation>
    </message>
    <message>
        <source>已被新的请求取代！</source>
        <translation> replaced by a newer request!</translation>
    </message>
    <message>
        <source>无法读取终端列表：</source>
        <translation>Cannot read terminal list: </translation>
    </message>
    <message>
        <source>设置实时日期与时间</source>
        <translation>Set real-time date and time</translation>
    </message>
    <message>
        <source>设置心跳包时间间隔</source>
        <translation>Set heart-beat interval</translation>
    </message>
    <message>
        <source>读取静默参数失败！</source>
        <translation> Failed to read silence period!</translation>
    </message>
    <message>
        <source>读取静默参数成功！</source>
        <translation> Silence period read successfully!</translation>
    </message>
    <message>
        <source>进水铂电阻断线标志</source>
        <translation>Supply Pt resistor break flag</translation>
    </message>
    <message>
        <source>进水铂电阻短路标志</source>
        <translation>Supply Pt resistor short flag</translation>
    </message>
    <message>
        <source>配置静默参数失败！</source>
        <translation> Failed to configure silence period!</translation>
    </message>
    <message>
        <source>配置静默参数成功！</source>
        <translation> Silence period configured successfully!</translation>
    </message>
    <message>
        <source>应答心跳包失败！</source>
        <translation> Failed to answer heart beat!</translation>
    </message>
    <message>
        <source>应答心跳包成功！</source>
        <translation> Heart beat answered!</translation>
    </message>
    <message>
        <source>无法设置日志模式</source>
        <translation>Cannot set journal mode</translation>
    </message>
    <message>
        <source>无线室温采集终端</source>
        <translation>Wireless room-temperature terminal</translation>
    </message>
    <message>
        <source>服务器拒绝连接：</source>
        <translation>The broker refused the connection: </translation>
    </message>
    <message>
        <source>没有成功，请重试</source>
        <translation>Not successful, please try again</translation>
    </message>
    <message>
        <source>端口号必须为数值</source>
        <translation>Port number must be numeric</translation>
    </message>
    <message>
        <source>自动上传数据无效</source>
        <translation> Automatic upload data invalid</translation>
    </message>
    <message>
        <source>设置条形码失败！</source>
        <translation> Failed to set bar code!</translation>
    </message>
    <message>
        <source>设置条形码成功！</source>
        <translation> Bar code set successfully!</translation>
    </message>
    <message>
        <source>读取实时温度湿度</source>
        <translation>Read live temperature and humidity</translation>
    </message>
    <message>
        <source>读取条形码失败！</source>
        <translation> Failed to read bar code!</translation>
    </message>
    <message>
        <source>读取条形码成功！</source>
        <translation> Bar code read successfully!</translation>
    </message>
    <message>
        <source>读数库中没有终端</source>
        <translation>The readings file has no terminal</translation>
    </message>
    <message>
        <source>读数库无法写入：</source>
        <translation> Readings file cannot be written: </translation>
    </message>
    <message>
        <source>中止日设置错误</source>
        <translation>Invalid end day</translation>
    </message>
    <message>
        <source>中止月设置错误</source>
        <translation>Invalid end month</translation>
    </message>
    <message>
        <source>分钟必须为数字</source>
        <translation>Minutes must be a number</translation>
    </message>
    <message>
        <source>分钟必须为整数</source>
        <translation>Minutes must be an integer</translation>
    </message>
    <message>
        <source>地址和端口号！</source>
        <translation> address and port number of the module to configure!</translation>
    </message>
    <message>
        <source>小时必须为数字</source>
        <translation>Hours must be a number</translation>
    </message>
    <message>
        <source>小时必须为整数</source>
        <translation>Hours must be an integer</translation>
    </message>
    <message>
        <source>数据长度不够！</source>
        <translation> data too short!</translation>
    </message>
    <message>
        <source>无法保存图片：</source>
        <translation>Cannot save image: </translation>
    </message>
    <message>
        <source>无法创建文件夹</source>
        <translation>Cannot create folder</translation>
    </message>
    <message>
        <source>无法建立文件夹</source>
        <translation>Cannot create the folder</translation>
    </message>
    <message>
        <source>无法打开读数库</source>
        <translation>Cannot open readings file</translation>
    </message>
    <message>
        <source>无法显示读数：</source>
        <translation>Cannot show readings: </translation>
    </message>
    <message>
        <source>无法读取读数库</source>
        <translation>Cannot read readings file</translation>
    </message>
    <message>
        <source>无法读取读数：</source>
        <translation>Cannot read readings: </translation>
    </message>
    <message>
        <source>日志无法写入：</source>
        <translation> Log cannot be written: </translation>
    </message>
    <message>
        <source>时间校准失败！</source>
        <translation> Clock calibration failed!</translation>
    </message>
    <message>
        <source>时间校准成功！</source>
        <translation> Clock calibrated successfully!</translation>
    </message>
    <message>
        <source>服务器地址应为</source>
        <translation>The broker URL must be</translation>
    </message>
    <message>
        <source>条读数，本范围</source>
        <translation>readings, of which</translation>
    </message>
    <message>
        <source>请先设置串口！</source>
        <translation>Please set up the serial port first!</translation>
    </message>
    <message>
        <source>读数库不存在：</source>
        <translation>Readings file does not exist: </translation>
    </message>
    <message>
        <source>起始日设置错误</source>
        <translation>Invalid start day</translation>
    </message>
    <message>
        <source>起始月设置错误</source>
        <translation>Invalid start month</translation>
    </message>
    <message>
        <source>上次抄表热量</source>
        <translation>Heat at last reading</translation>
    </message>
    <message>
        <source>个终端，在线</source>
        <translation>terminals, online</translation>
    </message>
    <message>
        <source>主动上传数据</source>
        <translation>Uploaded data</translation>
    </message>
    <message>
        <source>全部保留）：</source>
        <translation>keep all): </translation>
    </message>
    <message>
        <source>和端口。。。</source>
        <translation> and port...</translation>
    </message>
    <message>
        <source>和端口失败！</source>
        <translation> and port failed!</translation>
    </message>
    <message>
        <source>和端口成功！</source>
        <translation> and port succeeded!</translation>
    </message>
    <message>
        <source>年必须为数字</source>
        <translation>Year must be a number</translation>
    </message>
    <message>
        <source>年必须为整数</source>
        <translation>Year must be an integer</translation>
    </message>
    <message>
        <source>年设置范围为</source>
        <translation>Year must be in the range </translation>
    </message>
    <message>
        <source>数据库未打开</source>
        <translation>Database not open</translation>
    </message>
    <message>
        <source>无法准备语句</source>
        <translation>Cannot prepare statement</translation>
    </message>
    <message>
        <source>日必须为整数</source>
        <translation>Day must be an integer</translation>
    </message>
    <message>
        <source>月必须为数字</source>
        <translation>Month must be a number</translation>
    </message>
    <message>
        <source>月必须为整数</source>
        <translation>Month must be an integer</translation>
    </message>
    <message>
        <source>服务启动失败</source>
        <translation> service failed to start</translation>
    </message>
    <message>
        <source>服务已启动！</source>
        <translation> service started!</translation>
    </message>
    <message>
        <source>服务已经启动</source>
        <translation> service is already running</translation>
    </message>
    <message>
        <source>条形码应该为</source>
        <translation>Bar code must have </translation>
    </message>
    <message>
        <source>正在设置备用</source>
        <translation> Setting spare </translation>
    </message>
    <message>
        <source>正在读取备用</source>
        <translation> Reading spare </translation>
    </message>
    <message>
        <source>正在读取终端</source>
        <translation>Loading readings of terminal</translation>
    </message>
    <message>
        <source>秒必须为数字</source>
        <translation>Seconds must be a number</translation>
    </message>
    <message>
        <source>秒必须为整数</source>
        <translation>Seconds must be an integer</translation>
    </message>
    <message>
        <source>端口号必须在</source>
        <translation>Port number must be in the range </translation>
    </message>
    <message>
        <source>累计工作时间</source>
        <translation>Total working time</translation>
    </message>
    <message>
        <source>网络连接日志</source>
        <translation>Network connection log</translation>
    </message>
    <message>
        <source>设置是否休眠</source>
        <translation>Set sleep</translation>
    </message>
    <message>
        <source>设置通讯类型</source>
        <translation>Set communication type</translation>
    </message>
    <message>
        <source>请先停止服务</source>
        <translation>Please stop the service first</translation>
    </message>
    <message>
        <source>请输入条形码</source>
        <translation>Please enter the bar code</translation>
    </message>
    <message>
        <source>读数保留期限</source>
        <translation>Readings retention</translation>
    </message>
    <message>
        <source>配置静默参数</source>
        <translation>Configure silence period</translation>
    </message>
    <message>
        <source>地址不可用</source>
        <translation> address unavailable</translation>
    </message>
    <message>
        <source>导出失败：</source>
        <translation>Export failed: </translation>
    </message>
    <message>
        <source>握手失败，</source>
        <translation> Handshake failed, </translation>
    </message>
    <message>
        <source>数据库版本</source>
        <translation>Database version</translation>
    </message>
    <message>
        <source>无法切换到</source>
        <translation>Cannot switch to</translation>
    </message>
    <message>
        <source>无法连接：</source>
        <translation>Cannot connect: </translation>
    </message>
    <message>
        <source>服务已停止</source>
        <translation> service stopped</translation>
    </message>
    <message>
        <source>服务已启动</source>
        <translation> service started</translation>
    </message>
    <message>
        <source>校验错误！</source>
        <translation> check error!</translation>
    </message>
    <message>
        <source>正在导出…</source>
        <translation>Exporting…</translation>
    </message>
    <message>
        <source>清空接收区</source>
        <translation>Clear receive area</translation>
    </message>
    <message>
        <source>温湿度曲线</source>
        <translation>Temperature/humidity chart</translation>
    </message>
    <message>
        <source>设置条形码</source>
        <translation>Set bar code</translation>
    </message>
    <message>
        <source>请输入备用</source>
        <translation>Please enter spare </translation>
    </message>
    <message>
        <source>读取已取消</source>
        <translation>Reading cancelled</translation>
    </message>
    <message>
        <source>读取条形码</source>
        <translation>Read bar code</translation>
    </message>
    <message>
        <source>通讯失败！</source>
        <translation> Communication failed!</translation>
    </message>
    <message>
        <source>通讯失败，</source>
        <translation> Communication failed, </translation>
    </message>
    <message>
        <source>错误描述：</source>
        <translation>Error description: </translation>
    </message>
    <message>
        <source>上传时间</source>
        <translation>Upload time</translation>
    </message>
    <message>
        <source>串口设置</source>
        <translation>Serial port settings</translation>
    </message>
    <message>
        <source>供水温度</source>
        <translation>Supply temperature</translation>
    </message>
    <message>
        <source>关闭串口</source>
        <translation>Close serial port</translation>
    </message>
    <message>
        <source>分钟必须</source>
        <translation>Minutes must be </translation>
    </message>
    <message>
        <source>启动服务</source>
        <translation>Start service</translation>
    </message>
    <message>
        <source>回水温度</source>
        <translation>Return temperature</translation>
    </message>
    <message>
        <source>实时时间</source>
        <translation>Real-time clock</translation>
    </message>
    <message>
        <source>对端地址</source>
        <translation>Peer address</translation>
    </message>
    <message>
        <source>小时必须</source>
        <translation>Hours must be </translation>
    </message>
    <message>
        <source>已取消！</source>
        <translation> cancelled!</translation>
    </message>
    <message>
        <source>已过期！</source>
        <translation> expired!</translation>
    </message>
    <message>
        <source>当前热量</source>
        <translation>Current heat</translation>
    </message>
    <message>
        <source>心跳抖动</source>
        <translation>Heart-beat jitter</translation>
    </message>
    <message>
        <source>心跳间隔</source>
        <translation>Heart-beat interval</translation>
    </message>
    <message>
        <source>打开串口</source>
        <translation>Open serial port</translation>
    </message>
    <message>
        <source>提示信息</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>数据中心</source>
        <translation>Data centre </translation>
    </message>
    <message>
        <source>无法写入</source>
        <translation>Cannot write</translation>
    </message>
    <message>
        <source>日志模式</source>
        <translation>journal mode</translation>
    </message>
    <message>
        <source>时钟偏差</source>
        <translation>Clock offset</translation>
    </message>
    <message>
        <source>显示报文</source>
        <translation>Show frames</translation>
    </message>
    <message>
        <source>最后出现</source>
        <translation>Last seen</translation>
    </message>
    <message>
        <source>未执行：</source>
        <translation> not carried out: </translation>
    </message>
    <message>
        <source>条读数到</source>
        <translation>readings to</translation>
    </message>
    <message>
        <source>条，绘出</source>
        <translation>in range, plotted</translation>
    </message>
    <message>
        <source>欠压标志</source>
        <translation>Low-voltage flag</translation>
    </message>
    <message>
        <source>正在设置</source>
        <translation> Setting </translation>
    </message>
    <message>
        <source>正在读取</source>
        <translation>Reading </translation>
    </message>
    <message>
        <source>正在连接</source>
        <translation>Connecting to</translation>
    </message>
    <message>
        <source>没有读数</source>
        <translation>No readings</translation>
    </message>
    <message>
        <source>流量标志</source>
        <translation>Flow flag</translation>
    </message>
    <message>
        <source>清空报文</source>
        <translation>Clear frames</translation>
    </message>
    <message>
        <source>温差标志</source>
        <translation>Temperature difference flag</translation>
    </message>
    <message>
        <source>电池电压</source>
        <translation>Battery voltage</translation>
    </message>
    <message>
        <source>的读数…</source>
        <translation>…</translation>
    </message>
    <message>
        <source>瞬时流量</source>
        <translation>Flow rate</translation>
    </message>
    <message>
        <source>程序版本</source>
        <translation>Program version</translation>
    </message>
    <message>
        <source>等待终端</source>
        <translation>Waiting for readings of terminal</translation>
    </message>
    <message>
        <source>管道装反</source>
        <translation>Pipes reversed</translation>
    </message>
    <message>
        <source>系统提示</source>
        <translation>System message</translation>
    </message>
    <message>
        <source>累计流量</source>
        <translation>Total flow</translation>
    </message>
    <message>
        <source>自动清空</source>
        <translation>Auto clear</translation>
    </message>
    <message>
        <source>记录时间</source>
        <translation>Record time</translation>
    </message>
    <message>
        <source>设置内部</source>
        <translation> Set internal </translation>
    </message>
    <message>
        <source>设置备用</source>
        <translation>Set spare </translation>
    </message>
    <message>
        <source>读取备用</source>
        <translation>Read spare </translation>
    </message>
    <message>
        <source>通讯成功</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>通讯报文</source>
        <translation>Communication frames</translation>
    </message>
    <message>
        <source>通讯状态</source>
        <translation>Communication status</translation>
    </message>
    <message>
        <source>采集数量</source>
        <translation>Sample count</translation>
    </message>
    <message>
        <source>采集时间</source>
        <translation>Acquisition time</translation>
    </message>
    <message>
        <source>采集间隔</source>
        <translation>Acquisition interval</translation>
    </message>
    <message>
        <source>错误代码</source>
        <translation>Error code</translation>
    </message>
    <message>
        <source>错误号：</source>
        <translation>Error number: </translation>
    </message>
    <message>
        <source>错误描述</source>
        <translation>Error description</translation>
    </message>
    <message>
        <source>首次出现</source>
        <translation>First seen</translation>
    </message>
    <message>
        <source>。。。</source>
        <translation>...</translation>
    </message>
    <message>
        <source>保存为</source>
        <translation>Save as </translation>
    </message>
    <message>
        <source>和端口</source>
        <translation> and port</translation>
    </message>
    <message>
        <source>失败！</source>
        <translation> failed!</translation>
    </message>
    <message>
        <source>已发布</source>
        <translation>published</translation>
    </message>
    <message>
        <source>已发送</source>
        <translation>sent</translation>
    </message>
    <message>
        <source>已导出</source>
        <translation>Exported</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>Connected to</translation>
    </message>
    <message>
        <source>成功！</source>
        <translation> succeeded!</translation>
    </message>
    <message>
        <source>手机号</source>
        <translation>Phone number</translation>
    </message>
    <message>
        <source>排队中</source>
        <translation>queued</translation>
    </message>
    <message>
        <source>日必须</source>
        <translation>Day must be </translation>
    </message>
    <message>
        <source>月必须</source>
        <translation>Month must be </translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>条形码</source>
        <translation>Bar code</translation>
    </message>
    <message>
        <source>正温差</source>
        <translation>positive</translation>
    </message>
    <message>
        <source>热功率</source>
        <translation>Heat power</translation>
    </message>
    <message>
        <source>的读数</source>
        <translation>readings</translation>
    </message>
    <message>
        <source>秒必须</source>
        <translation>Seconds must be </translation>
    </message>
    <message>
        <source>请输入</source>
        <translation>Please enter </translation>
    </message>
    <message>
        <source>负温差</source>
        <translation>negative</translation>
    </message>
    <message>
        <source>，需要</source>
        <translation>, needs</translation>
    </message>
    <message>
        <source>…（</source>
        <translation>… (</translation>
    </message>
    <message>
        <source>主机</source>
        <translation>host</translation>
    </message>
    <message>
        <source>之间</source>
        <translation> inclusive</translation>
    </message>
    <message>
        <source>内部</source>
        <translation> internal </translation>
    </message>
    <message>
        <source>准备</source>
        <translation> Preparing: </translation>
    </message>
    <message>
        <source>分钟</source>
        <translation> min</translation>
    </message>
    <message>
        <source>图片</source>
        <translation>image</translation>
    </message>
    <message>
        <source>在线</source>
        <translation>Online</translation>
    </message>
    <message>
        <source>地址</source>
        <translation> address</translation>
    </message>
    <message>
        <source>备用</source>
        <translation>Spare </translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export </translation>
    </message>
    <message>
        <source>开路</source>
        <translation>open</translation>
    </message>
    <message>
        <source>报错</source>
        <translation>error</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Operation</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Disconnected </translation>
    </message>
    <message>
        <source>显示</source>
        <translation>Showing</translation>
    </message>
    <message>
        <source>未断</source>
        <translation>intact</translation>
    </message>
    <message>
        <source>未短</source>
        <translation>not shorted</translation>
    </message>
    <message>
        <source>欠压</source>
        <translation>low voltage</translation>
    </message>
    <message>
        <source>正在</source>
        <translation> In progress: </translation>
    </message>
    <message>
        <source>正常</source>
        <translation>normal</translation>
    </message>
    <message>
        <source>注册</source>
        <translation>Registered </translation>
    </message>
    <message>
        <source>温差</source>
        <translation>Temperature difference</translation>
    </message>
    <message>
        <source>温度</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>湿度</source>
        <translation>Humidity</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>电池</source>
        <translation>Battery</translation>
    </message>
    <message>
        <source>短路</source>
        <translation>shorted</translation>
    </message>
    <message>
        <source>离线</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>port</translation>
    </message>
    <message>
        <source>编号</source>
        <translation>Id</translation>
    </message>
    <message>
        <source>节点</source>
        <translation>Node</translation>
    </message>
    <message>
        <source>装反</source>
        <translation>reversed</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>读数</source>
        <translation>Readings</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>通道</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>逾期</source>
        <translation>Overdue</translation>
    </message>
    <message>
        <source>…</source>
        <translation>…</translation>
    </message>
    <message>
        <source>位</source>
        <translation> digits</translation>
    </message>
    <message>
        <source>共</source>
        <translation>Total</translation>
    </message>
    <message>
        <source>分</source>
        <translation>m</translation>
    </message>
    <message>
        <source>到</source>
        <translation>to</translation>
    </message>
    <message>
        <source>对</source>
        <translation> pairs</translation>
    </message>
    <message>
        <source>年</source>
        <translation>-</translation>
    </message>
    <message>
        <source>或</source>
        <translation>or</translation>
    </message>
    <message>
        <source>日</source>
        <translation> </translation>
    </message>
    <message>
        <source>时</source>
        <translation>h</translation>
    </message>
    <message>
        <source>月</source>
        <translation>-</translation>
    </message>
    <message>
        <source>条</source>
        <translation>records</translation>
    </message>
    <message>
        <source>点</source>
        <translation>points</translation>
    </message>
    <message>
        <source>！</source>
        <translation>!</translation>
    </message>
    <message>
        <source>）</source>
        <translation>)</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>：</source>
        <translation>: </translation>
    </message>
</context>
</TS>
