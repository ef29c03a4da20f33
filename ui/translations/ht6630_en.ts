<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="zh_CN">
<context>
    <name>ChartWindow</name>
    <message>
        <source>温湿度曲线</source>
        <translation>Temperature/humidity chart</translation>
    </message>
    <message>
        <source>一天</source>
        <translation>One day</translation>
    </message>
    <message>
        <source>一周</source>
        <translation>One week</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>保存为PNG</source>
        <translation>Save as PNG</translation>
    </message>
</context>
<context>
    <name>FleetWindowForm</name>
    <message>
        <source>远程终端</source>
        <translation>Fleet</translation>
    </message>
    <message>
        <source>服务器</source>
        <translation>Broker</translation>
    </message>
    <message>
        <source>地址：</source>
        <translation>URL:</translation>
    </message>
    <message>
        <source>用户名：</source>
        <translation>User:</translation>
    </message>
    <message>
        <source>密码：</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>主题前缀：</source>
        <translation>Topic prefix:</translation>
    </message>
    <message>
        <source>CA证书：</source>
        <translation>CA certificate:</translation>
    </message>
    <message>
        <source>客户端证书：</source>
        <translation>Client certificate:</translation>
    </message>
    <message>
        <source>客户端密钥：</source>
        <translation>Client key:</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>在线客户端信息：</source>
        <translation>Online clients:</translation>
    </message>
    <message>
        <source>离线客户端信息：</source>
        <translation>Offline clients:</translation>
    </message>
    <message>
        <source>配置模式</source>
        <translation>Configuration mode</translation>
    </message>
    <message>
        <source>休眠模式</source>
        <translation>Sleep mode</translation>
    </message>
    <message>
        <source>当前条形码：</source>
        <translation>Current bar code:</translation>
    </message>
    <message>
        <source>筛选：</source>
        <translation>Filter:</translation>
    </message>
    <message>
        <source>条形码、节点或通道</source>
        <translation>Bar code, node or channel</translation>
    </message>
    <message>
        <source>温湿度曲线</source>
        <translation>Temperature/humidity chart</translation>
    </message>
    <message>
        <source>等待中的请求：</source>
        <translation>Requests waiting:</translation>
    </message>
    <message>
        <source>取消请求</source>
        <translation>Cancel request</translation>
    </message>
    <message>
        <source>无线远程参数配置</source>
        <translation>Wireless remote parameter configuration</translation>
    </message>
    <message>
        <source>系统提示</source>
        <translation>System message</translation>
    </message>
</context>
<context>
    <name>FrameDetailWindowForm</name>
    <message>
        <source>报文解析</source>
        <translation>Frame analysis</translation>
    </message>
    <message>
        <source>字段</source>
        <translation>Field</translation>
    </message>
    <message>
        <source>值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>复制为十六进制</source>
        <translation>Copy as hex</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>HT6630-QN无线室温采集终端测试软件V1.0</source>
        <translation>HT6630-QN wireless room-temperature terminal test software V1.0</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>有线设置</source>
        <translation>Wired setup</translation>
    </message>
    <message>
        <source>数据</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>无线设置</source>
        <translation>Wireless setup</translation>
    </message>
    <message>
        <source>读数保留期限…</source>
        <translation>Readings retention…</translation>
    </message>
    <message>
        <source>打开日志文件夹</source>
        <translation>Open log folder</translation>
    </message>
    <message>
        <source>终端列表</source>
        <translation>Terminal list</translation>
    </message>
    <message>
        <source>退出系统</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>串口设置</source>
        <translation>Serial port settings</translation>
    </message>
    <message>
        <source>串口通讯</source>
        <translation>Serial communication</translation>
    </message>
    <message>
        <source>TCP通讯</source>
        <translation>TCP communication</translation>
    </message>
    <message>
        <source>UDP通讯</source>
        <translation>UDP communication</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>中文</source>
        <translation>Chinese</translation>
    </message>
    <message>
        <source>远程终端</source>
        <translation>Fleet</translation>
    </message>
</context>
<context>
    <name>ParameterPagesForm</name>
    <message>
        <source>13位条形码：</source>
        <translation>13-digit bar code:</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>基本参数设置</source>
        <translation>Basic parameters</translation>
    </message>
    <message>
        <source>IP：</source>
        <translation>IP:</translation>
    </message>
    <message>
        <source>.</source>
        <translation>.</translation>
    </message>
    <message>
        <source>端口：</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>备用IP：</source>
        <translation>Spare IP:</translation>
    </message>
    <message>
        <source>备用端口：</source>
        <translation>Spare port:</translation>
    </message>
    <message>
        <source>采集终端参数配置</source>
        <translation>Terminal parameter configuration</translation>
    </message>
    <message>
        <source>静默参数</source>
        <translation>Silence period</translation>
    </message>
    <message>
        <source>标志位:</source>
        <translation>Flag:</translation>
    </message>
    <message>
        <source>禁用</source>
        <translation>Disabled</translation>
    </message>
    <message>
        <source>启用</source>
        <translation>Enabled</translation>
    </message>
    <message>
        <source>起始月:</source>
        <translation>Start month:</translation>
    </message>
    <message>
        <source>起始日:</source>
        <translation>Start day:</translation>
    </message>
    <message>
        <source>中止月:</source>
        <translation>End month:</translation>
    </message>
    <message>
        <source>中止日:</source>
        <translation>End day:</translation>
    </message>
    <message>
        <source>其它参数</source>
        <translation>Other parameters</translation>
    </message>
    <message>
        <source>采集器程序版本号(只读)：</source>
        <translation>Collector firmware version (read-only):</translation>
    </message>
    <message>
        <source>数据采集间隔时间(分钟)：</source>
        <translation>Acquisition interval (min):</translation>
    </message>
    <message>
        <source>数据上传时间(分钟)：</source>
        <translation>Upload interval (min):</translation>
    </message>
    <message>
        <source>通讯类型：</source>
        <translation>Communication type:</translation>
    </message>
    <message>
        <source>心跳包时间间隔(秒)：</source>
        <translation>Heart-beat interval (s):</translation>
    </message>
    <message>
        <source>参数读取</source>
        <translation>Read parameters</translation>
    </message>
    <message>
        <source>立即休眠</source>
        <translation>Sleep now</translation>
    </message>
    <message>
        <source>立即上传</source>
        <translation>Upload now</translation>
    </message>
    <message>
        <source>实时时间</source>
        <translation>Real-time clock</translation>
    </message>
    <message>
        <source>系统时间</source>
        <translation>System time</translation>
    </message>
    <message>
        <source>自定义时间</source>
        <translation>Custom time</translation>
    </message>
    <message>
        <source>年</source>
        <translation> yr</translation>
    </message>
    <message>
        <source>月</source>
        <translation> mo</translation>
    </message>
    <message>
        <source>日</source>
        <translation> d</translation>
    </message>
    <message>
        <source>时</source>
        <translation> h</translation>
    </message>
    <message>
        <source>分</source>
        <translation> min</translation>
    </message>
    <message>
        <source>秒</source>
        <translation> s</translation>
    </message>
    <message>
        <source>实时温度湿度</source>
        <translation>Live temperature and humidity</translation>
    </message>
    <message>
        <source>当前温度:</source>
        <translation>Current temperature:</translation>
    </message>
    <message>
        <source>℃</source>
        <translation>℃</translation>
    </message>
    <message>
        <source>当前湿度:</source>
        <translation>Current humidity:</translation>
    </message>
    <message>
        <source>%</source>
        <translation>%</translation>
    </message>
</context>
<context>
    <name>SerialConsoleWindow</name>
    <message>
        <source>HT6630-QN无线室温采集终端串口通信配置</source>
        <translation>HT6630-QN wireless room-temperature terminal serial configuration</translation>
    </message>
    <message>
        <source>串口通讯</source>
        <translation>Serial communication</translation>
    </message>
    <message>
        <source>设备操作</source>
        <translation>Device operations</translation>
    </message>
    <message>
        <source>系统提示</source>
        <translation>System message</translation>
    </message>
</context>
<context>
    <name>SetPortDialog</name>
    <message>
        <source>串口设置</source>
        <translation>Serial port settings</translation>
    </message>
    <message>
        <source>串口号:</source>
        <translation>Serial port:</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>300</source>
        <translation>300</translation>
    </message>
    <message>
        <source>600</source>
        <translation>600</translation>
    </message>
    <message>
        <source>1200</source>
        <translation>1200</translation>
    </message>
    <message>
        <source>2400</source>
        <translation>2400</translation>
    </message>
    <message>
        <source>4800</source>
        <translation>4800</translation>
    </message>
    <message>
        <source>9600</source>
        <translation>9600</translation>
    </message>
    <message>
        <source>14400</source>
        <translation>14400</translation>
    </message>
    <message>
        <source>19200</source>
        <translation>19200</translation>
    </message>
    <message>
        <source>28800</source>
        <translation>28800</translation>
    </message>
    <message>
        <source>38400</source>
        <translation>38400</translation>
    </message>
    <message>
        <source>56000</source>
        <translation>56000</translation>
    </message>
    <message>
        <source>128000</source>
        <translation>128000</translation>
    </message>
    <message>
        <source>256000</source>
        <translation>256000</translation>
    </message>
    <message>
        <source>数据位</source>
        <translation>Data bits</translation>
    </message>
    <message>
        <source>校验位</source>
        <translation>Parity</translation>
    </message>
    <message>
        <source>NONE</source>
        <translation>NONE</translation>
    </message>
    <message>
        <source>ODD</source>
        <translation>ODD</translation>
    </message>
    <message>
        <source>EVEN</source>
        <translation>EVEN</translation>
    </message>
    <message>
        <source>SPACE</source>
        <translation>SPACE</translation>
    </message>
    <message>
        <source>MARK</source>
        <translation>MARK</translation>
    </message>
    <message>
        <source>停止位</source>
        <translation>Stop bits</translation>
    </message>
    <message>
        <source>打开串口</source>
        <translation>Open serial port</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TcpDataCentreWindow</name>
    <message>
        <source>HT6630-QN无线室温采集终端(TCP)配置</source>
        <translation>HT6630-QN wireless room-temperature terminal (TCP) configuration</translation>
    </message>
    <message>
        <source>数据中心信息</source>
        <translation>Data centre</translation>
    </message>
    <message>
        <source>IP地址：</source>
        <translation>IP address:</translation>
    </message>
    <message>
        <source>TCP端口：</source>
        <translation>TCP port:</translation>
    </message>
    <message>
        <source>2020</source>
        <translation>2020</translation>
    </message>
    <message>
        <source>启动服务</source>
        <translation>Start service</translation>
    </message>
    <message>
        <source>断开服务</source>
        <translation>Stop service</translation>
    </message>
    <message>
        <source>在线客户端信息：</source>
        <translation>Online clients:</translation>
    </message>
    <message>
        <source>离线客户端信息：</source>
        <translation>Offline clients:</translation>
    </message>
    <message>
        <source>配置模式</source>
        <translation>Configuration mode</translation>
    </message>
    <message>
        <source>休眠模式</source>
        <translation>Sleep mode</translation>
    </message>
    <message>
        <source>当前条形码：</source>
        <translation>Current bar code:</translation>
    </message>
    <message>
        <source>无线远程参数配置</source>
        <translation>Wireless remote parameter configuration</translation>
    </message>
    <message>
        <source>系统提示</source>
        <translation>System message</translation>
    </message>
    <message>
        <source>数据</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>控制</source>
        <translation>Control</translation>
    </message>
    <message>
        <source>网络日志</source>
        <translation>Network log</translation>
    </message>
    <message>
        <source>终端列表</source>
        <translation>Terminal list</translation>
    </message>
    <message>
        <source>程序退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>主动离线</source>
        <translation>Go offline</translation>
    </message>
</context>
<context>
    <name>TerminalsWindowForm</name>
    <message>
        <source>终端列表</source>
        <translation>Terminal list</translation>
    </message>
    <message>
        <source>筛选：</source>
        <translation>Filter:</translation>
    </message>
    <message>
        <source>条形码、通道或地址</source>
        <translation>Bar code, channel or address</translation>
    </message>
    <message>
        <source>从</source>
        <translation>From</translation>
    </message>
    <message>
        <source>yyyy-MM-dd HH:mm:ss</source>
        <translation>yyyy-MM-dd HH:mm:ss</translation>
    </message>
    <message>
        <source>到</source>
        <translation>to</translation>
    </message>
    <message>
        <source>供Excel打开(UTF-8 BOM)</source>
        <translation>For Excel (UTF-8 BOM)</translation>
    </message>
    <message>
        <source>温湿度曲线</source>
        <translation>Temperature/humidity chart</translation>
    </message>
    <message>
        <source>导出CSV…</source>
        <translation>Export CSV…</translation>
    </message>
</context>
<context>
    <name>UdpDataCentreWindow</name>
    <message>
        <source>HT6630-QN无线室温采集终端(UDP)配置</source>
        <translation>HT6630-QN wireless room-temperature terminal (UDP) configuration</translation>
    </message>
    <message>
        <source>数据中心信息</source>
        <translation>Data centre</translation>
    </message>
    <message>
        <source>IP地址：</source>
        <translation>IP address:</translation>
    </message>
    <message>
        <source>UDP端口：</source>
        <translation>UDP port:</translation>
    </message>
    <message>
        <source>2020</source>
        <translation>2020</translation>
    </message>
    <message>
        <source>启动服务</source>
        <translation>Start service</translation>
    </message>
    <message>
        <source>断开服务</source>
        <translation>Stop service</translation>
    </message>
    <message>
        <source>终端设备信息</source>
        <translation>Terminal device</translation>
    </message>
    <message>
        <source>终端IP：</source>
        <translation>Terminal IP:</translation>
    </message>
    <message>
        <source>配置模式</source>
        <translation>Configuration mode</translation>
    </message>
    <message>
        <source>休眠模式</source>
        <translation>Sleep mode</translation>
    </message>
    <message>
        <source>当前条形码：</source>
        <translation>Current bar code:</translation>
    </message>
    <message>
        <source>无线远程参数配置</source>
        <translation>Wireless remote parameter configuration</translation>
    </message>
    <message>
        <source>系统提示</source>
        <translation>System message</translation>
    </message>
    <message>
        <source>数据</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>控制</source>
        <translation>Control</translation>
    </message>
    <message>
        <source>终端列表</source>
        <translation>Terminal list</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
</context>
</TS>
