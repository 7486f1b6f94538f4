<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>PlatformText</name>
    <message>
        <source>演示设备 (Modbus 从站)</source>
        <translation>Demo device (Modbus slave)</translation>
    </message>
    <message>
        <source>(系统控制台)</source>
        <translation>(system console)</translation>
    </message>
    <message>
        <source>(不可用)</source>
        <translation>(unavailable)</translation>
    </message>
    <message>
        <source>USB 调制解调器 (ACM)</source>
        <translation>USB modem (ACM)</translation>
    </message>
    <message>
        <source>USB 串口</source>
        <translation>USB serial port</translation>
    </message>
    <message>
        <source>板载串口</source>
        <translation>On-board serial port</translation>
    </message>
    <message>
        <source>蓝牙串口</source>
        <translation>Bluetooth serial port</translation>
    </message>
    <message>
        <source>其他串口</source>
        <translation>Other serial port</translation>
    </message>
    <message>
        <source>序列号 </source>
        <translation>serial number </translation>
    </message>
    <message>
        <source>驱动 </source>
        <translation>driver </translation>
    </message>
    <message>
        <source>%1（PID %2）</source>
        <translation>%1 (PID %2)</translation>
    </message>
    <message>
        <source>设备不存在：%1</source>
        <translation>Device not found: %1</translation>
    </message>
    <message>
        <source>没有打开 %1 的权限。请把用户 %2 加入设备所属的组（例如 dialout），然后重新登录。</source>
        <translation>No permission to open %1. Add user %2 to the group that owns the device (for example dialout), then log in again.</translation>
    </message>
    <message>
        <source>没有打开 %1 的权限：设备属于组 %2。请把用户 %3 加入该组（sudo usermod -aG %2 %3），然后重新登录。</source>
        <translation>No permission to open %1: the device belongs to group %2. Add user %3 to that group (sudo usermod -aG %2 %3), then log in again.</translation>
    </message>
    <message>
        <source>%1 正被其他程序占用。</source>
        <translation>%1 is in use by another program.</translation>
    </message>
    <message>
        <source>%1 正被其他程序占用：%2</source>
        <translation>%1 is in use by another program: %2</translation>
    </message>
    <message>
        <source> — 网络串口 (TCP)</source>
        <translation> — network port (TCP)</translation>
    </message>
    <message>
        <source> — 网络串口 (RFC 2217)</source>
        <translation> — network port (RFC 2217)</translation>
    </message>
    <message>
        <source> (地址格式不正确)</source>
        <translation> (malformed address)</translation>
    </message>
    <message>
        <source>地址格式不正确：</source>
        <translation>Malformed address: </translation>
    </message>
    <message>
        <source>连接被拒绝：</source>
        <translation>Connection refused: </translation>
    </message>
    <message>
        <source>连接超时：</source>
        <translation>Connection timed out: </translation>
    </message>
    <message>
        <source>连接超时</source>
        <translation>Connection timed out</translation>
    </message>
    <message>
        <source>找不到主机：</source>
        <translation>Host not found: </translation>
    </message>
    <message>
        <source>无法连接：</source>
        <translation>Cannot connect: </translation>
    </message>
    <message>
        <source>服务器关闭了连接</source>
        <translation>The server closed the connection</translation>
    </message>
    <message>
        <source>服务器：</source>
        <translation>Server: </translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1 正被占用：%2</source>
        <translation>%1 is in use: %2</translation>
    </message>
    <message>
        <source>服务器未确认 RFC 2217 线路控制，线路设置可能不会生效</source>
        <translation>The server did not acknowledge RFC 2217 line control; line settings may not take effect</translation>
    </message>
    <message>
        <source>服务器未确认 DTR/RTS 的设置，已继续</source>
        <translation>The server did not acknowledge the DTR/RTS settings; carrying on</translation>
    </message>
    <message>
        <source>服务器的数据不合协议，连接已断开：</source>
        <translation>The server broke the protocol; the connection was ended: </translation>
    </message>
</context>
<context>
    <name>PortWatch</name>
    <message>
        <source>版本号：V1.22</source>
        <translation>Version: V1.22</translation>
    </message>
</context>
<context>
    <name>SaveViewFile</name>
    <message>
        <source>不能创建文件 %1</source>
        <translation>Cannot create file %1</translation>
    </message>
</context>
<context>
    <name>StrToInt</name>
    <message>
        <source>&apos;%1&apos; 不是一个有效的整形值</source>
        <translation>&apos;%1&apos; is not a valid integer value</translation>
    </message>
</context>
<context>
    <name>TReceivePath</name>
    <message>
        <source>第%1个参数=%2</source>
        <translation>Parameter %1=%2</translation>
    </message>
</context>
<context>
    <name>TSendPath</name>
    <message>
        <source>串口未打开。</source>
        <translation>The serial port is not open.</translation>
    </message>
    <message>
        <source>不能打开文件 %1</source>
        <translation>Cannot open file %1</translation>
    </message>
</context>
<context>
    <name>TSettingsFile</name>
    <message>
        <source>写 %1 失败</source>
        <translation>Writing %1 failed</translation>
    </message>
</context>
<context>
    <name>talyx::app::TAboutBox</name>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>TALYX串口通信控制器</source>
        <translation>TALYX Serial Port Controller</translation>
    </message>
    <message>
        <source>版本:V1.1</source>
        <translation>Version: V1.1</translation>
    </message>
</context>
<context>
    <name>talyx::app::TApplication</name>
    <message>
        <source>未知错误</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <source>TALYX串口通信控制器</source>
        <translation>TALYX Serial Port Controller</translation>
    </message>
</context>
<context>
    <name>talyx::app::TBusScanDialog</name>
    <message>
        <source>总线扫描</source>
        <translation>Bus Scan</translation>
    </message>
    <message>
        <source>01 读线圈</source>
        <translation>01 Read Coils</translation>
    </message>
    <message>
        <source>02 读离散输入</source>
        <translation>02 Read Discrete Inputs</translation>
    </message>
    <message>
        <source>03 读保持寄存器</source>
        <translation>03 Read Holding Registers</translation>
    </message>
    <message>
        <source>04 读输入寄存器</source>
        <translation>04 Read Input Registers</translation>
    </message>
    <message>
        <source>每个常用波特率</source>
        <translation>Each common baud rate</translation>
    </message>
    <message>
        <source>开始扫描</source>
        <translation>Start Scan</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>Baud</translation>
    </message>
    <message>
        <source>应答</source>
        <translation>Answer</translation>
    </message>
    <message>
        <source>响应时间</source>
        <translation>Response time</translation>
    </message>
    <message>
        <source>添加为轮询行</source>
        <translation>Add as Poll Row</translation>
    </message>
    <message>
        <source>使用此波特率</source>
        <translation>Use This Rate</translation>
    </message>
    <message>
        <source>至</source>
        <translation>to</translation>
    </message>
    <message>
        <source>从站地址</source>
        <translation>Slave address</translation>
    </message>
    <message>
        <source>功能</source>
        <translation>Function</translation>
    </message>
    <message>
        <source>扫描超时</source>
        <translation>Scan timeout</translation>
    </message>
    <message>
        <source>串口未打开。</source>
        <translation>The serial port is not open.</translation>
    </message>
    <message>
        <source>正在扫描...</source>
        <translation>Scanning...</translation>
    </message>
    <message>
        <source>异常应答 %1 %2</source>
        <translation>Exception %1 %2</translation>
    </message>
    <message>
        <source>CRC错误</source>
        <translation>CRC error</translation>
    </message>
    <message>
        <source>正常应答</source>
        <translation>Reply</translation>
    </message>
    <message>
        <source>扫描完成，%1 个应答。</source>
        <translation>Scan complete, %1 answered.</translation>
    </message>
    <message>
        <source>扫描已取消，%1 个应答。</source>
        <translation>Scan cancelled, %1 answered.</translation>
    </message>
    <message>
        <source>串口已关闭，扫描停止。</source>
        <translation>The serial port closed; the scan stopped.</translation>
    </message>
    <message>
        <source>串口不接受此波特率，扫描停止：%1</source>
        <translation>The serial port refused the rate; the scan stopped: %1</translation>
    </message>
    <message>
        <source>使用波特率 %1</source>
        <translation>Use %1 Baud</translation>
    </message>
</context>
<context>
    <name>talyx::app::TDeviceWatch</name>
    <message>
        <source>设备已断开：%1</source>
        <translation>Device disconnected: %1</translation>
    </message>
    <message>
        <source>设备已断开：%1，等待重新连接</source>
        <translation>Device disconnected: %1, waiting to reconnect</translation>
    </message>
    <message>
        <source>已重新连接：%1</source>
        <translation>Reconnected: %1</translation>
    </message>
    <message>
        <source>（%1）</source>
        <translation> (%1)</translation>
    </message>
</context>
<context>
    <name>talyx::app::TFindDialog</name>
    <message>
        <source>查找</source>
        <translation>Find</translation>
    </message>
    <message>
        <source>查找内容:</source>
        <translation>Find what:</translation>
    </message>
    <message>
        <source>查找下一个</source>
        <translation>Find Next</translation>
    </message>
</context>
<context>
    <name>talyx::app::TFrameTableModel</name>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>方向</source>
        <translation>Direction</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>功能</source>
        <translation>Function</translation>
    </message>
    <message>
        <source>摘要</source>
        <translation>Summary</translation>
    </message>
    <message>
        <source>长度</source>
        <translation>Length</translation>
    </message>
    <message>
        <source>CRC</source>
        <translation>CRC</translation>
    </message>
    <message>
        <source>间隔(ms)</source>
        <translation>Gap (ms)</translation>
    </message>
    <message>
        <source>响应(ms)</source>
        <translation>Response (ms)</translation>
    </message>
    <message>
        <source>回波</source>
        <translation>Echo</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Sent</translation>
    </message>
    <message>
        <source>接收</source>
        <translation>Received</translation>
    </message>
    <message>
        <source>非帧字节</source>
        <translation>bytes outside a frame</translation>
    </message>
    <message>
        <source>正确</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>wrong</translation>
    </message>
    <message>
        <source>无应答</source>
        <translation>no response</translation>
    </message>
    <message>
        <source>字节</source>
        <translation>Bytes</translation>
    </message>
</context>
<context>
    <name>talyx::app::TMainForm</name>
    <message>
        <source>串  口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>Baud</translation>
    </message>
    <message>
        <source>校验位</source>
        <translation>Parity</translation>
    </message>
    <message>
        <source>数据位</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>停止位</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>重置串口</source>
        <translation>Reset port</translation>
    </message>
    <message>
        <source>清空显示</source>
        <translation>Clear view</translation>
    </message>
    <message>
        <source>保存显示数据</source>
        <translation>Save view</translation>
    </message>
    <message>
        <source>十六进制接收</source>
        <translation>Hex receive</translation>
    </message>
    <message>
        <source>停止显示</source>
        <translation>Stop display</translation>
    </message>
    <message>
        <source>自动清空接收</source>
        <translation>Auto clear</translation>
    </message>
    <message>
        <source>逐行显示</source>
        <translation>Line by line</translation>
    </message>
    <message>
        <source>十六进制发送</source>
        <translation>Hex send</translation>
    </message>
    <message>
        <source>自动发送(周期修改后重选)</source>
        <translation>Auto send (recheck on edit)</translation>
    </message>
    <message>
        <source>自动发送周期</source>
        <translation>Interval</translation>
    </message>
    <message>
        <source>毫秒</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>手动发送</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation>Open file</translation>
    </message>
    <message>
        <source>清空发送</source>
        <translation>Clear send</translation>
    </message>
    <message>
        <source>系统信息</source>
        <translation>About</translation>
    </message>
    <message>
        <source>计数复位</source>
        <translation>Reset count</translation>
    </message>
    <message>
        <source>回车发送数据</source>
        <translation>Send on Enter</translation>
    </message>
    <message>
        <source>发送后缀回车</source>
        <translation>Append CR</translation>
    </message>
    <message>
        <source>发送数据后清空发送区</source>
        <translation>Clear after send</translation>
    </message>
    <message>
        <source>撤消(&amp;z)</source>
        <translation>&amp;Undo</translation>
    </message>
    <message>
        <source>剪切(&amp;x)</source>
        <translation>Cu&amp;t</translation>
    </message>
    <message>
        <source>复制(&amp;c)</source>
        <translation>&amp;Copy</translation>
    </message>
    <message>
        <source>粘贴(&amp;v)</source>
        <translation>&amp;Paste</translation>
    </message>
    <message>
        <source>全选(&amp;a)</source>
        <translation>Select &amp;All</translation>
    </message>
    <message>
        <source>保存为</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>端口映射...</source>
        <translation>Port mapping...</translation>
    </message>
    <message>
        <source>选项...</source>
        <translation>Options...</translation>
    </message>
    <message>
        <source>串口通讯控制器</source>
        <translation>Serial Port Controller</translation>
    </message>
    <message>
        <source>串口不存在或被占用。</source>
        <translation>The serial port does not exist or is in use.</translation>
    </message>
    <message>
        <source>发送：%1</source>
        <translation>Sent: %1</translation>
    </message>
    <message>
        <source>接收：%1</source>
        <translation>Received: %1</translation>
    </message>
    <message>
        <source>没有查到相应数据。</source>
        <translation>No matching data found.</translation>
    </message>
    <message>
        <source>接收区已满，较早的数据已丢弃</source>
        <translation>Receive view full: older text dropped</translation>
    </message>
    <message>
        <source>正在连接 %1…</source>
        <translation>Connecting to %1…</translation>
    </message>
    <message>
        <source>%1：原始 TCP 只传数据，线路设置不会送到远端串口</source>
        <translation>%1: raw TCP carries data only; line settings do not reach the remote port</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>总线监视...</source>
        <translation>Bus monitor...</translation>
    </message>
    <message>
        <source>捕获到文件</source>
        <translation>Capture to file</translation>
    </message>
    <message>
        <source>寄存器轮询...</source>
        <translation>Register poller...</translation>
    </message>
</context>
<context>
    <name>talyx::app::TMonitorHub</name>
    <message>
        <source>无法开始捕获：%1</source>
        <translation>Cannot start the capture: %1</translation>
    </message>
    <message>
        <source>捕获已停止：%1</source>
        <translation>The capture has stopped: %1</translation>
    </message>
</context>
<context>
    <name>talyx::app::TMonitorWindow</name>
    <message>
        <source>总线监视</source>
        <translation>Bus monitor</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>all</translation>
    </message>
    <message>
        <source>仅错误</source>
        <translation>Errors only</translation>
    </message>
    <message>
        <source>仅异常</source>
        <translation>Exceptions only</translation>
    </message>
    <message>
        <source>隐藏回波</source>
        <translation>Hide echo</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>导出CSV...</source>
        <translation>Export CSV...</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>功能</source>
        <translation>Function</translation>
    </message>
    <message>
        <source>应答超时</source>
        <translation>Response timeout</translation>
    </message>
    <message>
        <source>帧：%1  CRC错误：%2  异常：%3  无应答：%4  已丢弃：%5</source>
        <translation>Frames: %1  CRC errors: %2  Exceptions: %3  Unanswered: %4  Dropped: %5</translation>
    </message>
    <message>
        <source>地址 %1：响应 最小 %2 ms，平均 %3 ms，最大 %4 ms</source>
        <translation>Address %1: response min %2 ms, avg %3 ms, max %4 ms</translation>
    </message>
    <message>
        <source>无法写入文件 %1：%2</source>
        <translation>Cannot write the file %1: %2</translation>
    </message>
    <message>
        <source>导出CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
</context>
<context>
    <name>talyx::app::TOptionsDialog</name>
    <message>
        <source>选项</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>系统区域设置（默认）</source>
        <translation>System locale (default)</translation>
    </message>
    <message>
        <source>设备重新接入时自动重新连接</source>
        <translation>Reconnect automatically when the device comes back</translation>
    </message>
    <message>
        <source>中文</source>
        <translation>Chinese</translation>
    </message>
    <message>
        <source>跟随系统区域设置</source>
        <translation>Follow the system locale</translation>
    </message>
    <message>
        <source>（重新启动后生效）</source>
        <translation>(takes effect after a restart)</translation>
    </message>
    <message>
        <source>文本字符集：</source>
        <translation>Text character set:</translation>
    </message>
    <message>
        <source>界面语言：</source>
        <translation>Interface language:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>无符号16位（默认）</source>
        <translation>Unsigned 16-bit (default)</translation>
    </message>
    <message>
        <source>有符号16位</source>
        <translation>Signed 16-bit</translation>
    </message>
    <message>
        <source>十六进制</source>
        <translation>Hexadecimal</translation>
    </message>
    <message>
        <source>无符号32位 %1</source>
        <translation>Unsigned 32-bit %1</translation>
    </message>
    <message>
        <source>有符号32位 %1</source>
        <translation>Signed 32-bit %1</translation>
    </message>
    <message>
        <source>浮点32位 %1</source>
        <translation>Float 32-bit %1</translation>
    </message>
    <message>
        <source>寄存器格式：</source>
        <translation>Register format:</translation>
    </message>
    <message>
        <source>每行前加时间戳（毫秒）</source>
        <translation>Timestamp each line (milliseconds)</translation>
    </message>
    <message>
        <source>空闲超过以下时间时换行</source>
        <translation>New line when idle for longer than</translation>
    </message>
    <message>
        <source> 毫秒</source>
        <translation> ms</translation>
    </message>
    <message>
        <source> Mi 字符</source>
        <translation> Mi characters</translation>
    </message>
    <message>
        <source>接收区和寄存器区随窗口伸展</source>
        <translation>Receive and register views follow the window size</translation>
    </message>
    <message>
        <source>接收区最多保留（自动清空关闭时）：</source>
        <translation>Receive view keeps at most (auto-clear off):</translation>
    </message>
    <message>
        <source>选择...</source>
        <translation>Choose...</translation>
    </message>
    <message>
        <source>选择捕获文件夹</source>
        <translation>Choose the capture folder</translation>
    </message>
    <message>
        <source>同时写文本日志</source>
        <translation>Also write a text log</translation>
    </message>
    <message>
        <source>程序启动时开始捕获</source>
        <translation>Start capturing when the program starts</translation>
    </message>
    <message>
        <source>捕获文件夹</source>
        <translation>Capture folder</translation>
    </message>
    <message>
        <source>捕获文件大小上限</source>
        <translation>Capture file size limit</translation>
    </message>
</context>
<context>
    <name>talyx::app::TPollLog</name>
    <message>
        <source>无法创建文件夹 %1</source>
        <translation>Cannot create the folder %1</translation>
    </message>
    <message>
        <source>无法创建文件 %1：%2</source>
        <translation>Cannot create the file %1: %2</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>行</source>
        <translation>Row</translation>
    </message>
    <message>
        <source>同名文件太多</source>
        <translation>too many files of the same name</translation>
    </message>
    <message>
        <source>无法写入 %1：%2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
</context>
<context>
    <name>talyx::app::TPollPlot</name>
    <message>
        <source>1分钟</source>
        <translation>1 minute</translation>
    </message>
    <message>
        <source>10分钟</source>
        <translation>10 minutes</translation>
    </message>
    <message>
        <source>1小时</source>
        <translation>1 hour</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>复位缩放</source>
        <translation>Reset zoom</translation>
    </message>
    <message>
        <source>导出PNG...</source>
        <translation>Export PNG...</translation>
    </message>
    <message>
        <source>导出PNG</source>
        <translation>Export PNG</translation>
    </message>
    <message>
        <source>PNG 图像 (*.png)</source>
        <translation>PNG images (*.png)</translation>
    </message>
    <message>
        <source>无法写入文件 %1</source>
        <translation>Cannot write the file %1</translation>
    </message>
</context>
<context>
    <name>talyx::app::TPollRowDialog</name>
    <message>
        <source>从站地址须在 1 到 247 之间。</source>
        <translation>The slave address must be from 1 to 247.</translation>
    </message>
    <message>
        <source>数量须在 1 到 2000 位或 125 个寄存器之间。</source>
        <translation>The count must be from 1 to 2000 bits or 125 registers.</translation>
    </message>
    <message>
        <source>起始地址加数量超出 65535。</source>
        <translation>The start address plus the count passes 65535.</translation>
    </message>
    <message>
        <source>周期至少 10 毫秒。</source>
        <translation>The period must be at least 10 ms.</translation>
    </message>
    <message>
        <source>有寄存器不在本行读取的地址范围内。</source>
        <translation>A register lies outside the addresses the row reads.</translation>
    </message>
    <message>
        <source>轮询行</source>
        <translation>Poll row</translation>
    </message>
    <message>
        <source>01 读线圈</source>
        <translation>01 Read coils</translation>
    </message>
    <message>
        <source>02 读离散输入</source>
        <translation>02 Read discrete inputs</translation>
    </message>
    <message>
        <source>03 读保持寄存器</source>
        <translation>03 Read holding registers</translation>
    </message>
    <message>
        <source>04 读输入寄存器</source>
        <translation>04 Read input registers</translation>
    </message>
    <message>
        <source>启用</source>
        <translation>Enabled</translation>
    </message>
    <message>
        <source>写入总用 15/16</source>
        <translation>Always write with 15/16</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>格式</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>比例</source>
        <translation>Scale</translation>
    </message>
    <message>
        <source>偏移</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>单位</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>添加寄存器</source>
        <translation>Add register</translation>
    </message>
    <message>
        <source>删除寄存器</source>
        <translation>Remove register</translation>
    </message>
    <message>
        <source>从站</source>
        <translation>Slave</translation>
    </message>
    <message>
        <source>功能</source>
        <translation>Function</translation>
    </message>
    <message>
        <source>起始地址</source>
        <translation>Start address</translation>
    </message>
    <message>
        <source>数量</source>
        <translation>Count</translation>
    </message>
    <message>
        <source>周期(ms)</source>
        <translation>Period (ms)</translation>
    </message>
</context>
<context>
    <name>talyx::app::TPollStatsModel</name>
    <message>
        <source>行</source>
        <translation>Row</translation>
    </message>
    <message>
        <source>从站</source>
        <translation>Slave</translation>
    </message>
    <message>
        <source>功能</source>
        <translation>Function</translation>
    </message>
    <message>
        <source>起始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>数量</source>
        <translation>Count</translation>
    </message>
    <message>
        <source>周期(ms)</source>
        <translation>Period (ms)</translation>
    </message>
    <message>
        <source>实际周期(ms)</source>
        <translation>Achieved period (ms)</translation>
    </message>
    <message>
        <source>请求</source>
        <translation>Requests</translation>
    </message>
    <message>
        <source>正确</source>
        <translation>Good</translation>
    </message>
    <message>
        <source>超时</source>
        <translation>Timeouts</translation>
    </message>
    <message>
        <source>CRC错误</source>
        <translation>CRC errors</translation>
    </message>
    <message>
        <source>异常</source>
        <translation>Exceptions</translation>
    </message>
    <message>
        <source>最近响应(ms)</source>
        <translation>Last response (ms)</translation>
    </message>
    <message>
        <source>平均响应(ms)</source>
        <translation>Average response (ms)</translation>
    </message>
    <message>
        <source>最大响应(ms)</source>
        <translation>Max response (ms)</translation>
    </message>
</context>
<context>
    <name>talyx::app::TPollTableModel</name>
    <message>
        <source>等待串口</source>
        <translation>Waiting for the port</translation>
    </message>
    <message>
        <source>超时</source>
        <translation>Timeout</translation>
    </message>
    <message>
        <source>CRC错误</source>
        <translation>CRC error</translation>
    </message>
    <message>
        <source>异常 %1</source>
        <translation>Exception %1</translation>
    </message>
    <message>
        <source>过期</source>
        <translation>Stale</translation>
    </message>
    <message>
        <source>过期：%1</source>
        <translation>Stale: %1</translation>
    </message>
    <message>
        <source>行</source>
        <translation>Row</translation>
    </message>
    <message>
        <source>从站</source>
        <translation>Slave</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>单位</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
</context>
<context>
    <name>talyx::app::TPollerWindow</name>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>五位寄存器编号</source>
        <translation>five-digit register numbers</translation>
    </message>
    <message>
        <source>六位寄存器编号</source>
        <translation>six-digit register numbers</translation>
    </message>
    <message>
        <source>协议地址</source>
        <translation>protocol addresses</translation>
    </message>
    <message>
        <source>写入成功</source>
        <translation>Written</translation>
    </message>
    <message>
        <source>写入失败：异常 %1</source>
        <translation>Write failed: exception %1</translation>
    </message>
    <message>
        <source>写入失败：CRC错误</source>
        <translation>Write failed: CRC error</translation>
    </message>
    <message>
        <source>写入失败：超时</source>
        <translation>Write failed: timeout</translation>
    </message>
    <message>
        <source>写入失败：串口未打开</source>
        <translation>Write failed: the port is not open</translation>
    </message>
    <message>
        <source>寄存器轮询</source>
        <translation>Register poller</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>添加行...</source>
        <translation>Add row...</translation>
    </message>
    <message>
        <source>编辑行...</source>
        <translation>Edit row...</translation>
    </message>
    <message>
        <source>删除行</source>
        <translation>Remove row</translation>
    </message>
    <message>
        <source>导入...</source>
        <translation>Import...</translation>
    </message>
    <message>
        <source>导出...</source>
        <translation>Export...</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>统计</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>曲线</source>
        <translation>Plot</translation>
    </message>
    <message>
        <source>超时(ms)</source>
        <translation>Timeout (ms)</translation>
    </message>
    <message>
        <source>重试</source>
        <translation>Retries</translation>
    </message>
    <message>
        <source>应答后延时(ms)</source>
        <translation>Turnaround (ms)</translation>
    </message>
    <message>
        <source>导入寄存器表</source>
        <translation>Import register map</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv);;所有文件 (*)</source>
        <translation>CSV files (*.csv);;All files (*)</translation>
    </message>
    <message>
        <source>导出寄存器表</source>
        <translation>Export register map</translation>
    </message>
    <message>
        <source>无法读取轮询文件 %1：第 %2 行：%3</source>
        <translation>Cannot read the poll file %1: line %2: %3</translation>
    </message>
    <message>
        <source>无法保存轮询文件 %1：%2</source>
        <translation>Cannot save the poll file %1: %2</translation>
    </message>
    <message>
        <source>无法导入 %1：第 %2 行：%3</source>
        <translation>Cannot import %1: line %2: %3</translation>
    </message>
    <message>
        <source>已导入 %1 个寄存器（%2）</source>
        <translation>Imported %1 registers (%2)</translation>
    </message>
    <message>
        <source>无法导出 %1：%2</source>
        <translation>Cannot export %1: %2</translation>
    </message>
    <message>
        <source>轮询未运行：请先开始轮询。</source>
        <translation>The poller is not running: start it first.</translation>
    </message>
    <message>
        <source>%1 的新值：</source>
        <translation>New value of %1:</translation>
    </message>
    <message>
        <source>“%1”不是 %2 可以写入的值。</source>
        <translation>“%1” is not a value %2 can take.</translation>
    </message>
    <message>
        <source>将 %1 写入从站 %2 的 %3（地址 %4）？</source>
        <translation>Write %1 to %3 (address %4) of slave %2?</translation>
    </message>
    <message>
        <source>正在写入...</source>
        <translation>Writing...</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>等待串口</source>
        <translation>Waiting for the port</translation>
    </message>
    <message>
        <source>轮询中</source>
        <translation>Polling</translation>
    </message>
    <message>
        <source>总线扫描...</source>
        <translation>Bus scan...</translation>
    </message>
    <message>
        <source>记录</source>
        <translation>Log</translation>
    </message>
    <message>
        <source>每天新文件</source>
        <translation>New file daily</translation>
    </message>
    <message>
        <source>按大小新文件</source>
        <translation>New file by size</translation>
    </message>
    <message>
        <source>文件夹</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>日志文件夹</source>
        <translation>Log folder</translation>
    </message>
</context>
<context>
    <name>talyx::app::TPortMapDialog</name>
    <message>
        <source>端口映射</source>
        <translation>Port Mapping</translation>
    </message>
    <message>
        <source>设备</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>说明</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>映射</source>
        <translation>Map</translation>
    </message>
    <message>
        <source>端口号：</source>
        <translation>Port number:</translation>
    </message>
    <message>
        <source>映射到：</source>
        <translation>Map to:</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>本机串口设备：</source>
        <translation>Serial devices on this computer:</translation>
    </message>
    <message>
        <source>端口号与设备：</source>
        <translation>Port numbers and devices:</translation>
    </message>
    <message>
        <source>系统控制台</source>
        <translation>System console</translation>
    </message>
    <message>
        <source>演示设备（Modbus 从站）</source>
        <translation>Demo device (Modbus slave)</translation>
    </message>
    <message>
        <source>（无）</source>
        <translation>(none)</translation>
    </message>
    <message>
        <source>(不可用)</source>
        <translation>(unavailable)</translation>
    </message>
    <message>
        <source>(不是串口，不会打开)</source>
        <translation>(not a serial port; never opened)</translation>
    </message>
    <message>
        <source>映射到网络地址</source>
        <translation>Map to address</translation>
    </message>
    <message>
        <source>网络地址：</source>
        <translation>Network address:</translation>
    </message>
    <message>
        <source>网络地址的格式不正确。</source>
        <translation>The network address is malformed.</translation>
    </message>
    <message>
        <source>应为 tcp://主机:端口 或 rfc2217://主机:端口；IPv6 地址写在方括号中。</source>
        <translation>Write tcp://HOST:PORT or rfc2217://HOST:PORT; an IPv6 address goes in brackets.</translation>
    </message>
</context>
</TS>
